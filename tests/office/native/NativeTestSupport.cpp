#include "tests/office/native/NativeTestSupport.h"

#include "formats/model/FormatError.h"

#include <random>

namespace kelvaran::office::native::test {

namespace model = formats::model;

imaging::Image noise(int width, int height, bool transparentCorner) {
    imaging::Image image;
    image.width = width;
    image.height = height;
    image.rgba.resize(static_cast<std::size_t>(width) * height * 4);
    std::mt19937 random(42);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            auto* p = &image.rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            p[0] = static_cast<std::uint8_t>(100 + random() % 150);
            p[1] = static_cast<std::uint8_t>(100 + random() % 150);
            p[2] = static_cast<std::uint8_t>(100 + random() % 150);
            p[3] = transparentCorner && x < width / 2 && y < height / 2 ? 0 : 255;
        }
    }
    return image;
}

model::PictureData pngPicture(int width, int height, bool transparentCorner) {
    model::PictureData picture;
    picture.type = model::PictureFormat::Png;
    picture.bytes = model::shareBytes(imaging::encodePng(noise(width, height, transparentCorner)));
    picture.pixelWidth = width;
    picture.pixelHeight = height;
    picture.naturalWidthPt = width * 0.75;
    picture.naturalHeightPt = height * 0.75;
    return picture;
}

model::PictureData jpegPicture(int width, int height) {
    model::PictureData picture = pngPicture(width, height);
    picture.type = model::PictureFormat::Jpeg;
    picture.bytes = model::shareBytes(imaging::encodeJpeg(noise(width, height), 95));
    return picture;
}

namespace {

std::string writeFake(const model::Document& document) {
    std::string out = "FAKE-RTF\n";
    for (std::size_t s = 0; s < document.stories.size(); ++s) {
        for (int object : document.inlinesOf(static_cast<int>(s))) {
            const auto& entry = document.inlines[static_cast<std::size_t>(object)];
            out += "inline " + std::to_string(entry.widthPt) + "x" + std::to_string(entry.heightPt) + "\n";
            if (entry.picture.bytes) out += *entry.picture.bytes;
        }
    }
    for (const auto& shape : document.shapes) {
        if (shape.edit == model::EditState::Deleted) continue;
        out += "shape " + shape.name + "\n";
        if (shape.picture.bytes) out += *shape.picture.bytes;
    }
    return out;
}

}  // namespace

FileFormat fakeRtf() {
    FileFormat format;
    format.name = "rtf";
    format.looksLike = [](std::string_view bytes) { return bytes.substr(0, 8) == "FAKE-RTF"; };
    format.read = [](std::shared_ptr<const std::string> bytes) {
        if (bytes->find("broken") != std::string::npos) throw model::FormatError("the group nesting is unbalanced");
        model::Document document = documentWithInlinePicture(90, 60);
        document.source = bytes;
        return document;
    };
    format.write = writeFake;
    format.makeNew = [] {
        model::Document document;
        document.format = "rtf";
        document.main().elements.push_back(model::Element::paragraphMark());
        return document;
    };
    return format;
}

model::Document documentWithInlinePicture(double widthPt, double heightPt, bool pageBreak) {
    model::Document document;
    document.format = "rtf";
    model::InlineObject object;
    object.widthPt = widthPt;
    object.heightPt = heightPt;
    object.picture = pngPicture(160, 120);
    document.inlines.push_back(object);
    auto& story = document.main().elements;
    story.push_back(model::Element::textRun("Intro", 5));
    story.push_back(model::Element::paragraphMark());
    if (pageBreak) story.push_back(model::Element::pageBreak());
    story.push_back(model::Element::inlineObject(0));
    story.push_back(model::Element::textRun("tail", 4));
    story.push_back(model::Element::paragraphMark());
    return document;
}

model::Document documentWithShapes() {
    model::Document document;
    document.format = "rtf";
    auto& story = document.main().elements;
    story.push_back(model::Element::textRun("Body text", 9));
    story.push_back(model::Element::paragraphMark());
    story.push_back(model::Element::textRun("Second", 6));
    story.push_back(model::Element::paragraphMark());

    model::FloatingShape picture;
    picture.name = "Picture 1";
    picture.type = model::shape_type::kPicture;
    picture.leftPt = 30;
    picture.topPt = 40;
    picture.widthPt = 120;
    picture.heightPt = 90;
    picture.rotation = 15;
    picture.stackPosition = 2;
    picture.wrap.type = 0;
    picture.wrap.side = 1;
    picture.wrap.distanceLeftPt = 9;
    picture.relative.horizontalPosition = 1;
    picture.formatting = {{"lineColor", "255"}, {"fLine", "1"}};
    picture.picture = pngPicture(160, 120);
    picture.anchor = {0, 2};
    document.shapes.push_back(picture);

    model::InlineObject inBox;
    inBox.widthPt = 60;
    inBox.heightPt = 45;
    inBox.picture = pngPicture(80, 60);
    document.inlines.push_back(inBox);
    model::Story text;
    text.kind = model::StoryKind::TextBox;
    text.owner = 1;
    text.elements.push_back(model::Element::textRun("In the box", 10));
    text.elements.push_back(model::Element::inlineObject(0));
    text.elements.push_back(model::Element::paragraphMark());
    document.stories.push_back(text);

    model::FloatingShape box;
    box.name = "Text Box 2";
    box.type = model::shape_type::kTextBox;
    box.widthPt = 200;
    box.heightPt = 100;
    box.stackPosition = 1;
    box.textStory = 1;
    box.anchor = {0, 0};
    document.shapes.push_back(box);
    return document;
}

}  // namespace kelvaran::office::native::test
