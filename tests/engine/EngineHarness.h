#pragma once

// A scripted office for the engine's tests: GoogleMock doubles with defaults
// that behave like a small, consistent Word and Excel.  Tests change the
// defaults they care about and put expectations on top.

#include "engine/Conditions.h"
#include "engine/Engine.h"
#include "engine/ExceptionRules.h"
#include "engine/RunDisplay.h"
#include "engine/RunState.h"
#include "office/OfficeError.h"
#include "platform/Clipboard.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "tests/mocks/OfficeMocks.h"

#include <gmock/gmock.h>

#include <deque>
#include <map>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kelvaran::engine::testing {

using ::testing::NiceMock;
namespace om = office::testing;
namespace word = office::word;

template <class T>
using Nice = std::shared_ptr<NiceMock<T>>;

template <class T>
Nice<T> nice() {
    return std::make_shared<NiceMock<T>>();
}

class MockEventPump : public platform::EventPump {
public:
    MOCK_METHOD(void, processEvents, (), (override));
};

class MockTimer : public platform::Timer {
public:
    MOCK_METHOD(void, sleep, (int), (override));
    MOCK_METHOD(void, pauseForOffice, (int), (override));
};

// File sizes by path; each GetFile takes the next size of its path, the last
// one is kept for later calls.
class FakeFileSystem : public platform::FileSystem {
public:
    std::map<std::string, std::deque<double>> sizes;
    std::vector<std::string> asked;

    bool folderExists(const std::string&) override { return true; }
    bool FileExists(const std::string& path) override { return sizes.count(path) != 0; }
    std::string GetExtensionName(const std::string&) override { return "doc"; }
    std::string GetSpecialFolder(int) override { return "/tmp"; }
    std::string GetTempName() override { return "rad00001.tmp"; }
    File GetFile(const std::string& path) override {
        asked.push_back(path);
        auto it = sizes.find(path);
        if (it == sizes.end() || it->second.empty()) throw platform::FileSystemError("no file " + path);
        double size = it->second.front();
        if (it->second.size() > 1) it->second.pop_front();
        return File{path, size};
    }
    std::string GetParentFolderName(const std::string&) override { return "/tmp"; }
    std::string GetBaseName(const std::string&) override { return "x"; }
    void deletefile(const std::string&) override {}
    Folder getFolder(const std::string& path) override { return Folder{path, {}}; }
};

class RecordingRules : public ExceptionRules {
public:
    std::map<std::string, std::string> formats;  // key -> format name
    std::vector<std::string> added;              // every key handed to AddToExceptionList

    void AddToExceptionList(const std::string& name, std::string& value) override {
        added.push_back(name + "=" + value);
    }
    std::string ObjToImage(const std::string& name) override {
        auto it = formats.find(name);
        return it == formats.end() ? kFormatMetafile : it->second;
    }
};

class RecordingDisplay : public RunDisplay {
public:
    std::vector<std::string> log;
    std::string status = "変換中";
    void appendLog(const std::string& text) override { log.push_back(text); }
    void clearLog() override { log.clear(); }
    std::string statusText() override { return status; }
    void setStatus(const std::string& text) override { status = text; }
};

// The engine with both conversions replaced by mocks, for the walk alone.
class WalkOnlyEngine : public Engine {
public:
    using Engine::Engine;
    MOCK_METHOD(std::int32_t, ConvertInlineShape,
                (const word::InlineShapePtr&, std::int32_t, bool, std::string&), (override));
    MOCK_METHOD(std::int32_t, ConvertFloatingShape,
                (const word::ShapePtr&, std::vector<std::string>&, double, double, std::string&), (override));
};

// An inline shape with its range.
struct InlineDouble {
    Nice<om::MockWordInlineShape> shape;
    Nice<om::MockWordRange> range;
    Nice<om::MockWordFrames> frames;
    Nice<om::MockWordOLEFormat> ole;
};

// A floating shape with its anchor, wrapping and text frame.
struct ShapeDouble {
    Nice<om::MockWordShape> shape;
    Nice<om::MockWordRange> anchor;
    Nice<om::MockWordOLEFormat> ole;
    Nice<om::MockWordTextFrame> textFrame;
    Nice<om::MockWordRange> text;
    Nice<om::MockWordInlineShapes> textInlineShapes;
};

class EngineHarness {
public:
    static constexpr double kEmptyDoc = 10000;
    const std::string pathA = "/tmp/measureA.doc";
    const std::string pathB = "/tmp/measureB.doc";

    EngineHarness();

    // Office mode
    void mode2000() { state.wordIsXP = false, state.wordIs2007 = false; }
    void modeXP() { state.wordIsXP = true, state.wordIs2007 = false; }
    void mode2007() { state.wordIsXP = true, state.wordIs2007 = true; }

    // Measured sizes in bytes (above the empty scratch document).
    void oldSizes(std::initializer_list<double> bytes);
    void newSizes(std::initializer_list<double> bytes);

    // A JPEG made on the sheet comes out black on the clipboard.
    bool jpegTurnsBlack = false;
    // What the office says of each picture cut from the sheet (the format
    // pasted last); nothing when unset.
    std::function<platform::ContentSummary(const std::string& format)> describeCut;

    InlineDouble makeInline(std::int32_t type, double width, double height, std::int32_t page = 1,
                            const std::string& progId = "");
    ShapeDouble makeShape(const std::string& name, std::int32_t type, double width, double height);

    // srcDoc's inline shapes and the floating shapes of its content.
    void setInlineShapes(const std::vector<InlineDouble>& shapes);
    void setContentShapes(const std::vector<ShapeDouble>& shapes);
    // srcDoc.Shapes, the whole collection (count and items).
    void setDocumentShapes(const std::vector<word::ShapePtr>& shapes);

    Engine& engine();
    WalkOnlyEngine& walkEngine();

    // An old object copied from Word: no picture format, renders white.
    void copyOldObject();

    // State of the fake sheet.
    int shapesOnSheet = 0;
    std::vector<std::string> sheetPastes;  // "Paste" or the PasteSpecial format text

    RunState state;
    FixedConditions conditions;
    RecordingRules rules;
    RecordingDisplay display;
    platform::Clipboard clipboard;
    NiceMock<MockEventPump> events;
    NiceMock<MockTimer> timer;
    FakeFileSystem fileSystem;

    Nice<om::MockWordApplication> word;
    Nice<om::MockExcelApplication> excel;
    Nice<om::MockWordSelection> selection;
    Nice<om::MockWordShapeRange> selectionRange;
    Nice<om::MockWordDocument> srcDoc;
    Nice<om::MockWordWindow> window;
    Nice<om::MockWordInlineShapes> srcInline;
    Nice<om::MockWordShapes> srcShapes;
    Nice<om::MockWordRange> content;
    Nice<om::MockWordShapeRange> contentShapes;
    Nice<om::MockWordDocument> scratchDoc;
    Nice<om::MockWordRange> scratchRange;
    Nice<om::MockWordInlineShapes> scratchInline;
    Nice<om::MockWordShapes> scratchShapes;
    // The converted picture pasted into the scratch document, inline and, after
    // ConvertToShape, floating.
    Nice<om::MockWordInlineShape> scratchPicture;
    Nice<om::MockWordShape> scratchFloating;
    Nice<om::MockExcelWorkbook> book;
    Nice<om::MockExcelWorksheet> sheet;
    Nice<om::MockExcelShapes> sheetShapes;
    Nice<om::MockExcelShape> sheetShape;

private:
    std::string lastSaved_;
    std::string lastFormat_;       // format of the shape on the sheet ("" for the old object)
    std::string clipboardFormat_;  // format of the picture last cut from the sheet
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<WalkOnlyEngine> walkEngine_;
};

// A white picture and one with a black area of the given pixel count, as the
// clipboard's metafile rendering.
platform::Raster whitePicture();
platform::Raster pictureWithBlackPixels(int count);

}  // namespace kelvaran::engine::testing
