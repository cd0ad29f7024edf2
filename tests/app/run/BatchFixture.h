#pragma once

// A batch run over office doubles and a real temporary folder: every office
// call that the run makes is noted in `events`, documents are files on disk.

#include "tests/support/ScopedTmpDir.h"
#include "app/run/BatchRun.h"
#include "engine/Conditions.h"
#include "engine/RunDisplay.h"
#include "engine/RunState.h"
#include "engine/Walker.h"
#include "office/OfficeControl.h"
#include "office/OfficeError.h"
#include "office/OfficeFactory.h"
#include "platform/Clipboard.h"
#include "platform/Failure.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "tests/mocks/OfficeMocks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kelvaran::app::testing {

namespace fs = std::filesystem;
using office::testing::MockExcelApplication;
using office::testing::MockExcelWorkbook;
using office::testing::MockExcelWorkbooks;
using office::testing::MockExcelWorksheet;
using office::testing::MockWordApplication;
using office::testing::MockWordDocument;
using office::testing::MockWordDocuments;
using ::testing::_;
using ::testing::NiceMock;
using ::testing::Return;

inline void writeBytes(const fs::path& path, std::size_t count, char fill = 'x') {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << std::string(count, fill);
}

inline std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The real file system, with deletions noted and some of them refused.
class NotingFileSystem : public platform::StdFileSystem {
public:
    explicit NotingFileSystem(std::vector<std::string>& events) : events_(events) {}
    std::set<std::string> undeletable;
    void deletefile(const std::string& path) override {
        events_.push_back("delete " + path);
        if (undeletable.count(path)) throw platform::FileSystemError("read-only: " + path);
        platform::StdFileSystem::deletefile(path);
    }

private:
    std::vector<std::string>& events_;
};

class NotingClipboard : public platform::Clipboard {
public:
    explicit NotingClipboard(std::vector<std::string>& events) : events_(events) {}
    void Clear() override {
        events_.push_back("clipboard.Clear");
        platform::Clipboard::Clear();
    }

private:
    std::vector<std::string>& events_;
};

struct RecordedMessages : platform::MessageBoxes {
    std::vector<std::string> shown;
    std::vector<platform::MessageIcon> icons;
    void show(const std::string& text, platform::MessageIcon icon) override {
        shown.push_back(text);
        icons.push_back(icon);
    }
};

struct RecordedDisplay : engine::RunDisplay {
    std::string log;
    std::vector<std::string> statuses;
    int clears = 0;
    std::function<void()> onAppend;
    void appendLog(const std::string& text) override {
        log += text;
        if (onAppend) onAppend();
    }
    void clearLog() override {
        log.clear();
        ++clears;
    }
    std::string statusText() override { return statuses.empty() ? std::string() : statuses.back(); }
    void setStatus(const std::string& text) override { statuses.push_back(text); }
};

struct RecordedHost : BatchHost {
    std::string text;
    std::optional<std::vector<std::string>> entries;
    bool startEnabled = true;
    bool stopEnabled = false;
    int beeps = 0;
    std::string inputText() override { return text; }
    std::optional<std::vector<std::string>> inputEntries() override { return entries; }
    void setStartEnabled(bool enabled) override { startEnabled = enabled; }
    void setStopEnabled(bool enabled) override { stopEnabled = enabled; }
    void beep() override { ++beeps; }
};

// Stands in for the engine: runs `body` for every document it is given.
struct ScriptedWalker : engine::Walker {
    std::function<void(int documentIndex)> body;
    int calls = 0;
    std::string WalkDocument(const office::word::ShapePtr& group, bool isTop) override {
        EXPECT_EQ(group, nullptr);
        EXPECT_TRUE(isTop);
        const int index = calls++;
        if (body) body(index);
        return {};
    }
};

class BatchFixture : public ::testing::Test {
protected:
    BatchFixture()
        : fileSystem_(events),
          clipboard_(events),
          office_(factory_, state_, clipboard_, messages_, "Quelto MSケルヴァラン"),
          run_(state_, office_, clipboard_, messages_, conditions_, display_, host_) {
        root_ = fs::temp_directory_path() / ("kelvaran-batch-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "tmp");
        fs::create_directories(root_ / "docs");
        tmpdir_.emplace(root_ / "tmp");
        state_.fileSystem = &fileSystem_;
        run_.setWalker(&walker_);
        provideWord();
        provideExcel();
    }
    ~BatchFixture() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // A document in the docs folder with the given size; returns its path.
    std::string doc(const std::string& name, std::size_t bytes) {
        const auto path = root_ / "docs" / name;
        writeBytes(path, bytes, 'i');
        return path.string();
    }
    std::string docsFolder() const { return (root_ / "docs").string(); }
    std::vector<std::string> tmpFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(root_ / "tmp")) names.push_back(entry.path().string());
        return names;
    }
    void start(const std::vector<std::string>& paths) {
        host_.text.clear();
        for (const auto& path : paths) host_.text += path + "\r\n";
        run_.StartRun();
    }

    // Every Word created hands out documents that write real files.
    void provideWord() { provideWord(factory_); }
    void provideWord(office::OfficeFactory& factory) {
        factory.registerWord(office::kWordClassName, [this](const office::OfficeContext&) {
            ++wordsCreated;
            events.push_back("word.create");
            if (failWordCreation.count(wordsCreated)) throw office::OfficeError("Word refused to start");
            auto app = std::make_shared<NiceMock<MockWordApplication>>();
            auto docs = std::make_shared<NiceMock<MockWordDocuments>>();
            ON_CALL(*app, Version()).WillByDefault(Return(wordVersion));
            ON_CALL(*app, Name()).WillByDefault(Return("Word"));
            ON_CALL(*app, Documents()).WillByDefault(Return(docs));
            ON_CALL(*app, setWindowState(_)).WillByDefault([this](std::int32_t s) {
                events.push_back("word.WindowState " + std::to_string(s));
            });
            ON_CALL(*app, setVisible(_)).WillByDefault([this](bool v) {
                events.push_back(std::string("word.Visible ") + (v ? "1" : "0"));
            });
            ON_CALL(*app, Quit()).WillByDefault([this] { events.push_back("word.Quit"); });
            ON_CALL(*docs, count()).WillByDefault(Return(0));
            ON_CALL(*docs, add()).WillByDefault([this]() -> office::word::DocumentPtr {
                ++scratchAdds;
                events.push_back("docs.add");
                if (failScratchAdd.count(scratchAdds)) throw office::OfficeError("no new document");
                return makeDocument("scratch", emptyDocBytes);
            });
            ON_CALL(*docs, Open(_, _)).WillByDefault([this](const std::string& path, bool readOnly) {
                events.push_back("docs.Open " + path + (readOnly ? " ro" : " rw"));
                if (failOpen.count(path)) throw office::OfficeError("not a Word document");
                return makeDocument("src", slimmedBytes);
            });
            return app;
        });
    }
    std::shared_ptr<NiceMock<MockWordDocument>> makeDocument(const std::string& role, std::size_t saveBytes) {
        auto document = std::make_shared<NiceMock<MockWordDocument>>();
        auto fullName = std::make_shared<std::string>();
        ON_CALL(*document, SaveAs(_)).WillByDefault([this, role, saveBytes, fullName](const std::string& path) {
            events.push_back(role + ".SaveAs " + path);
            if (role == "src" && failSave) throw office::OfficeError("disk full");
            writeBytes(path, saveBytes, 's');
            *fullName = path;
            if (role == "src" && duringSave) duringSave();
        });
        ON_CALL(*document, FullName()).WillByDefault([this, fullName]() -> std::string {
            if (failFullName) throw office::OfficeError("no name");
            return *fullName;
        });
        ON_CALL(*document, setSaved(_)).WillByDefault([this, role](bool saved) {
            events.push_back(role + ".Saved " + (saved ? "1" : "0"));
        });
        ON_CALL(*document, Close()).WillByDefault([this, role] { events.push_back(role + ".Close"); });
        return document;
    }
    void provideExcel() { provideExcel(factory_); }
    void provideExcel(office::OfficeFactory& factory) {
        factory.registerExcel(office::kExcelClassName, [this](const office::OfficeContext&) {
            ++excelsCreated;
            events.push_back("excel.create");
            if (failExcelCreation.count(excelsCreated)) throw office::OfficeError("Excel refused to start");
            auto app = std::make_shared<NiceMock<MockExcelApplication>>();
            auto books = std::make_shared<NiceMock<MockExcelWorkbooks>>();
            auto book = std::make_shared<NiceMock<MockExcelWorkbook>>();
            auto sheet = std::make_shared<NiceMock<MockExcelWorksheet>>();
            ON_CALL(*app, Name()).WillByDefault(Return("Excel"));
            ON_CALL(*app, Workbooks()).WillByDefault(Return(books));
            ON_CALL(*books, count()).WillByDefault(Return(0));
            ON_CALL(*books, add()).WillByDefault([this, book] {
                events.push_back("books.add");
                return book;
            });
            ON_CALL(*book, Worksheets(_)).WillByDefault([this, sheet](std::int16_t index) {
                events.push_back("book.Worksheets " + std::to_string(index));
                return sheet;
            });
            ON_CALL(*app, setWindowState(_)).WillByDefault([this](std::int32_t s) {
                events.push_back("excel.WindowState " + std::to_string(s));
            });
            ON_CALL(*app, setVisible(_)).WillByDefault([this](bool v) {
                events.push_back(std::string("excel.Visible ") + (v ? "1" : "0"));
            });
            ON_CALL(*app, Quit()).WillByDefault([this] { events.push_back("excel.Quit"); });
            return app;
        });
    }

    // Events from the first one that starts with `prefix`.
    std::vector<std::string> eventsFrom(const std::string& prefix) const {
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i].rfind(prefix, 0) == 0) return {events.begin() + static_cast<long>(i), events.end()};
        }
        return {};
    }
    int countEvents(const std::string& prefix) const {
        int n = 0;
        for (const auto& e : events) n += e.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }

    std::vector<std::string> events;
    std::string wordVersion = "12.0";
    std::size_t emptyDocBytes = 900;
    std::size_t slimmedBytes = 51200;
    std::set<int> failWordCreation;
    std::set<int> failExcelCreation;
    std::set<int> failScratchAdd;
    std::set<std::string> failOpen;
    bool failSave = false;
    // Runs while a slimmed copy is being written, once it is whole.
    std::function<void()> duringSave;
    bool failFullName = false;
    int wordsCreated = 0;
    int excelsCreated = 0;
    int scratchAdds = 0;

    fs::path root_;
    std::optional<test::ScopedTmpDir> tmpdir_;
    NotingFileSystem fileSystem_;
    engine::RunState state_;
    office::OfficeFactory factory_;
    NotingClipboard clipboard_;
    RecordedMessages messages_;
    engine::FixedConditions conditions_;
    RecordedDisplay display_;
    RecordedHost host_;
    ScriptedWalker walker_;
    office::OfficeControl office_;
    BatchRun run_;
};

}  // namespace kelvaran::app::testing
