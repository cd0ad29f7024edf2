#include "fuzz/DocFuzzEntry.h"

#include "formats/doc/DocFormat.h"
#include "fuzz/DocumentEdits.h"

#include <cstdlib>
#include <memory>
#include <string>

namespace kelvaran::formats::doc {

namespace {

// A copy the writer made must read, with the pictures it was given.
void expectReadBack(const std::string& written, int pictures) {
    model::Document again;
    try {
        again = readDoc(std::make_shared<const std::string>(written));
    } catch (const model::FormatError&) {
        std::abort();
    }
    if (fuzz::countPictures(again) != pictures) std::abort();
}

}  // namespace

int exerciseDocReader(std::string_view bytes) {
    model::Document document;
    try {
        document = readDoc(std::make_shared<const std::string>(bytes));
    } catch (const model::FormatError&) {
        return 0;
    }
    fuzz::drawEveryPicture(document);
    try {
        expectReadBack(writeDoc(document), fuzz::countPictures(document));
    } catch (const model::FormatError&) {
        return 1;
    }
    if (fuzz::replaceEveryPicture(document) == 0) return 2;
    std::string edited;
    try {
        edited = writeDoc(document);
    } catch (const model::FormatError&) {
        return 2;  // a writer may refuse an edit it cannot express
    }
    expectReadBack(edited, fuzz::countPictures(document));
    return 3;
}

}  // namespace kelvaran::formats::doc
