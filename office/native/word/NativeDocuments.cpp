#include "office/native/word/NativeDocuments.h"

#include "office/OfficeError.h"
#include "office/native/LongWork.h"
#include "office/native/word/DocumentFiles.h"
#include "office/native/word/DocumentState.h"
#include "office/native/word/NativeDocument.h"

#include <filesystem>
#include <system_error>

namespace kelvaran::office::native {

namespace model = formats::model;

namespace {

void ensureParagraph(model::Document& document) {
    if (document.stories.empty()) document.stories.push_back(model::Story{});
    auto& main = document.main();
    if (main.elements.empty() || (main.elements.back().kind != model::ElementKind::ParagraphMark &&
                                  main.elements.back().kind != model::ElementKind::SectionBreak)) {
        main.elements.push_back(model::Element::paragraphMark());
    }
}

}  // namespace

word::DocumentPtr NativeDocuments::Open(const std::string& FileName, bool ReadOnly) {
    (void)ReadOnly;
    session_->checkRunning();
    // Reading touches only the new document: the window may answer meanwhile.
    model::Document document;
    whileWorking(session_->events, [&] { document = readDocumentFile(session_->fileFormats, FileName); });
    std::error_code error;
    const auto absolute = std::filesystem::absolute(FileName, error);
    const std::string fullName = error ? FileName : absolute.string();
    auto opened = adopt(std::move(document), fullName);
    std::static_pointer_cast<NativeDocument>(opened)->state()->inputPath = fullName;
    return opened;
}

word::DocumentPtr NativeDocuments::adopt(model::Document document, const std::string& fullName) {
    session_->checkRunning();
    ensureParagraph(document);
    auto state = std::make_shared<DocumentState>(*session_, std::move(document), fullName, true, false);
    state->nameUnnamedShapes();
    session_->documents.push_back(state);
    return std::make_shared<NativeDocument>(state);
}

word::DocumentPtr NativeDocuments::add() {
    session_->checkRunning();
    model::Document document;
    ensureParagraph(document);
    const std::string name = "Document" + std::to_string(++session_->untitledCount);
    auto state = std::make_shared<DocumentState>(*session_, std::move(document), name, false, true);
    session_->documents.push_back(state);
    return std::make_shared<NativeDocument>(state);
}

std::int32_t NativeDocuments::count() {
    session_->checkRunning();
    return static_cast<std::int32_t>(session_->documents.size());
}

}  // namespace kelvaran::office::native
