#pragma once

// Word and Excel doubles for driving the window's run: every application
// answers, documents open, and saving writes a small file where it is told,
// so sizes can be measured.

#include "office/OfficeFactory.h"
#include "tests/mocks/OfficeMocks.h"

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace kelvaran::app::gui::testing {

using ::testing::_;
using ::testing::Invoke;
using ::testing::NiceMock;
using ::testing::Return;
namespace mocks = office::testing;

struct FakeOffice {
    std::vector<std::string> opened;  // paths given to Documents.Open
    std::string version = "12.0";

    std::shared_ptr<NiceMock<mocks::MockWordDocument>> newDocument() {
        auto document = std::make_shared<NiceMock<mocks::MockWordDocument>>();
        auto fullName = std::make_shared<std::string>();
        ON_CALL(*document, SaveAs(_)).WillByDefault(Invoke([fullName](const std::string& path) {
            std::ofstream(path, std::ios::binary) << std::string(2048, 'x');
            *fullName = path;
        }));
        ON_CALL(*document, FullName()).WillByDefault(Invoke([fullName] { return *fullName; }));
        return document;
    }

    void registerWith(office::OfficeFactory& factory) {
        factory.registerWord(office::kWordClassName, [this](const office::OfficeContext&) {
            auto app = std::make_shared<NiceMock<mocks::MockWordApplication>>();
            auto documents = std::make_shared<NiceMock<mocks::MockWordDocuments>>();
            ON_CALL(*app, Version()).WillByDefault(Return(version));
            ON_CALL(*app, Name()).WillByDefault(Return("Microsoft Word"));
            ON_CALL(*app, Documents()).WillByDefault(Return(documents));
            ON_CALL(*documents, count()).WillByDefault(Return(0));
            ON_CALL(*documents, add()).WillByDefault(Invoke([this] { return newDocument(); }));
            ON_CALL(*documents, Open(_, _)).WillByDefault(Invoke([this](const std::string& path, bool) {
                opened.push_back(path);
                return newDocument();
            }));
            return app;
        });
        factory.registerExcel(office::kExcelClassName, [](const office::OfficeContext&) {
            auto app = std::make_shared<NiceMock<mocks::MockExcelApplication>>();
            auto books = std::make_shared<NiceMock<mocks::MockExcelWorkbooks>>();
            auto book = std::make_shared<NiceMock<mocks::MockExcelWorkbook>>();
            auto sheet = std::make_shared<NiceMock<mocks::MockExcelWorksheet>>();
            ON_CALL(*app, Name()).WillByDefault(Return("Microsoft Excel"));
            ON_CALL(*app, Workbooks()).WillByDefault(Return(books));
            ON_CALL(*books, count()).WillByDefault(Return(0));
            ON_CALL(*books, add()).WillByDefault(Return(book));
            ON_CALL(*book, Worksheets(_)).WillByDefault(Return(sheet));
            return app;
        });
    }
};

}  // namespace kelvaran::app::gui::testing
