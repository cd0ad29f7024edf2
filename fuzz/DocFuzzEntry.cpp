#include "fuzz/DocFuzzEntry.h"

#include "formats/doc/DocFormat.h"

#include <memory>
#include <string>

namespace kelvaran::formats::doc {

int exerciseDocReader(std::string_view bytes)
{
    int steps = 0;
    model::Document document;
    try {
        document = readDoc(std::make_shared<const std::string>(bytes));
    } catch (const model::FormatError&) {
        return 0;
    }
    ++steps;
    std::size_t text = 0;
    for (const auto& story : document.stories)
        text += story.plainText().size();
    for (const auto& object : document.inlines)
        text += object.picture.size();
    steps += text > 0 ? 1 : 0;
    std::string written;
    try {
        written = writeDoc(document);
    } catch (const model::FormatError&) {
        return steps;
    }
    ++steps;
    try {
        const model::Document again = readDoc(std::make_shared<const std::string>(written));
        if (again.inlines.size() == document.inlines.size() && again.shapes.size() == document.shapes.size())
            ++steps;
    } catch (const model::FormatError&) {
    }
    return steps;
}

}  // namespace kelvaran::formats::doc
