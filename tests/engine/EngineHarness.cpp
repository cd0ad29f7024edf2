#include "tests/engine/EngineHarness.h"

namespace kelvaran::engine::testing {

using ::testing::_;
using ::testing::Invoke;
using ::testing::Return;
using office::Variant;

platform::Raster whitePicture() { return platform::Raster(96, 96, 0x00FFFFFF); }

platform::Raster pictureWithBlackPixels(int count) {
    platform::Raster picture(96, 96, 0x00FFFFFF);
    for (int k = 0; k < count && k < 96 * 96; ++k) picture.pixels[static_cast<std::size_t>(k)] = 0;
    return picture;
}

EngineHarness::EngineHarness()
    : word(nice<om::MockWordApplication>()),
      excel(nice<om::MockExcelApplication>()),
      selection(nice<om::MockWordSelection>()),
      selectionRange(nice<om::MockWordShapeRange>()),
      srcDoc(nice<om::MockWordDocument>()),
      window(nice<om::MockWordWindow>()),
      srcInline(nice<om::MockWordInlineShapes>()),
      srcShapes(nice<om::MockWordShapes>()),
      content(nice<om::MockWordRange>()),
      contentShapes(nice<om::MockWordShapeRange>()),
      scratchDoc(nice<om::MockWordDocument>()),
      scratchRange(nice<om::MockWordRange>()),
      scratchInline(nice<om::MockWordInlineShapes>()),
      scratchShapes(nice<om::MockWordShapes>()),
      scratchPicture(nice<om::MockWordInlineShape>()),
      scratchFloating(nice<om::MockWordShape>()),
      book(nice<om::MockExcelWorkbook>()),
      sheet(nice<om::MockExcelWorksheet>()),
      sheetShapes(nice<om::MockExcelShapes>()),
      sheetShape(nice<om::MockExcelShape>()) {
    state.appWORD = word;
    state.appEXCEL = excel;
    state.srcDoc = srcDoc;
    state.scratchDoc = scratchDoc;
    state.scratchBook = book;
    state.scratchSheet = sheet;
    state.scratchPathA = pathA;
    state.scratchPathB = pathB;
    state.emptyDocSize = kEmptyDoc;
    state.fileSystem = &fileSystem;
    mode2007();

    ConditionValues& c = conditions.values();
    c.fileSize = "50";
    c.ratio = "1.5";
    c.format = 0;
    c.expectRate = "75";
    c.pixelSize = "9999";
    c.convertObjects = true;
    c.recompress = false;

    ON_CALL(*word, WindowState()).WillByDefault(Return(office::word::constants::wdWindowStateMinimize));
    ON_CALL(*excel, WindowState()).WillByDefault(Return(office::excel::constants::xlMinimized));
    ON_CALL(*word, Selection()).WillByDefault(Return(selection));
    ON_CALL(*selection, ShapeRange()).WillByDefault(Return(selectionRange));
    ON_CALL(*selection, Information(1)).WillByDefault(Return(Variant(std::int32_t{1})));

    ON_CALL(*srcDoc, Windows(1)).WillByDefault(Return(window));
    ON_CALL(*srcDoc, InlineShapes()).WillByDefault(Return(srcInline));
    ON_CALL(*srcDoc, Shapes()).WillByDefault(Return(srcShapes));
    ON_CALL(*srcDoc, Content()).WillByDefault(Return(content));
    ON_CALL(*content, ShapeRange()).WillByDefault(Return(contentShapes));

    ON_CALL(*scratchDoc, Range(0)).WillByDefault(Return(scratchRange));
    ON_CALL(*scratchDoc, InlineShapes()).WillByDefault(Return(scratchInline));
    ON_CALL(*scratchDoc, Shapes()).WillByDefault(Return(scratchShapes));
    ON_CALL(*scratchInline, item(1)).WillByDefault(Return(scratchPicture));
    ON_CALL(*scratchPicture, ConvertToShape()).WillByDefault(Return(scratchFloating));
    ON_CALL(*scratchShapes, item(1)).WillByDefault(Return(scratchFloating));
    ON_CALL(*scratchDoc, SaveAs(_)).WillByDefault(Invoke([this](const std::string& path) { lastSaved_ = path; }));
    ON_CALL(*scratchDoc, FullName()).WillByDefault(Invoke([this] { return lastSaved_; }));

    // The sheet counts what was pasted and cut; a cut puts the picture on the
    // clipboard, black when it is a JPEG that is set to come out black.
    ON_CALL(*book, Worksheets(1)).WillByDefault(Return(sheet));
    ON_CALL(*sheet, Shapes()).WillByDefault(Return(sheetShapes));
    // A plain paste puts on the sheet whatever the clipboard holds, so a
    // picture cut from the sheet keeps its format when it is pasted again.
    ON_CALL(*sheet, Paste(_)).WillByDefault(Invoke([this](bool) {
        ++shapesOnSheet;
        sheetPastes.push_back("Paste");
        lastFormat_ = clipboardFormat_;
    }));
    ON_CALL(*sheet, PasteSpecial(_, _, _)).WillByDefault(Invoke([this](const std::string& format, bool, bool) {
        ++shapesOnSheet;
        sheetPastes.push_back(format);
        lastFormat_ = format;
    }));
    ON_CALL(*sheetShapes, count()).WillByDefault(Invoke([this] { return shapesOnSheet; }));
    ON_CALL(*sheetShapes, item(1)).WillByDefault(Invoke([this]() -> office::excel::ShapePtr {
        return shapesOnSheet > 0 ? sheetShape : nullptr;
    }));
    ON_CALL(*sheetShape, Cut()).WillByDefault(Invoke([this] {
        --shapesOnSheet;
        clipboardFormat_ = lastFormat_;
        const bool black = jpegTurnsBlack && lastFormat_ == office::excel::formats::kJpeg;
        clipboard.setMetafileRendering(black ? pictureWithBlackPixels(96 * 96) : whitePicture());
        if (describeCut) clipboard.setSummary(describeCut(lastFormat_));
    }));
    ON_CALL(*sheetShape, Delete()).WillByDefault(Invoke([this] { --shapesOnSheet; }));

    // The old object on the clipboard renders white.
    ON_CALL(*selection, Copy()).WillByDefault(Invoke([this] { copyOldObject(); }));

    oldSizes({100 * 1024});
    newSizes({40 * 1024});
}

void EngineHarness::copyOldObject() {
    clipboardFormat_.clear();
    clipboard.setMetafileRendering(whitePicture());
}

void EngineHarness::oldSizes(std::initializer_list<double> bytes) {
    auto& queue = fileSystem.sizes[pathB];
    queue.clear();
    for (double b : bytes) queue.push_back(b + kEmptyDoc);
}

void EngineHarness::newSizes(std::initializer_list<double> bytes) {
    auto& queue = fileSystem.sizes[pathA];
    queue.clear();
    for (double b : bytes) queue.push_back(b + kEmptyDoc);
}

InlineDouble EngineHarness::makeInline(std::int32_t type, double width, double height, std::int32_t page,
                                       const std::string& progId) {
    InlineDouble d{nice<om::MockWordInlineShape>(), nice<om::MockWordRange>(), nice<om::MockWordFrames>(),
                   nice<om::MockWordOLEFormat>()};
    ON_CALL(*d.shape, Type()).WillByDefault(Return(type));
    ON_CALL(*d.shape, Width()).WillByDefault(Return(width));
    ON_CALL(*d.shape, Height()).WillByDefault(Return(height));
    ON_CALL(*d.shape, Range()).WillByDefault(Return(d.range));
    ON_CALL(*d.shape, OLEFormat()).WillByDefault(Return(d.ole));
    ON_CALL(*d.shape, LockAspectRatio()).WillByDefault(Return(Variant(true)));
    ON_CALL(*d.ole, progId()).WillByDefault(Return(progId));
    ON_CALL(*d.range, Information(1)).WillByDefault(Return(Variant(page)));
    ON_CALL(*d.range, Frames()).WillByDefault(Return(d.frames));
    ON_CALL(*d.range, Copy()).WillByDefault(Invoke([this] { copyOldObject(); }));
    ON_CALL(*d.frames, count()).WillByDefault(Return(0));
    return d;
}

ShapeDouble EngineHarness::makeShape(const std::string& name, std::int32_t type, double width, double height) {
    ShapeDouble d{nice<om::MockWordShape>(),       nice<om::MockWordRange>(),
                  nice<om::MockWordOLEFormat>(),   nice<om::MockWordTextFrame>(),
                  nice<om::MockWordRange>(),       nice<om::MockWordInlineShapes>()};
    ON_CALL(*d.shape, Name()).WillByDefault(Return(name));
    ON_CALL(*d.shape, Type()).WillByDefault(Return(type));
    ON_CALL(*d.shape, Width()).WillByDefault(Return(width));
    ON_CALL(*d.shape, Height()).WillByDefault(Return(height));
    ON_CALL(*d.shape, Anchor()).WillByDefault(Return(d.anchor));
    ON_CALL(*d.shape, OLEFormat()).WillByDefault(Return(d.ole));
    ON_CALL(*d.shape, TextFrame()).WillByDefault(Return(d.textFrame));
    ON_CALL(*d.textFrame, TextRange()).WillByDefault(Return(d.text));
    ON_CALL(*d.text, InlineShapes()).WillByDefault(Return(d.textInlineShapes));
    return d;
}

void EngineHarness::setInlineShapes(const std::vector<InlineDouble>& shapes) {
    ON_CALL(*srcInline, count()).WillByDefault(Return(static_cast<std::int32_t>(shapes.size())));
    for (std::size_t k = 0; k < shapes.size(); ++k) {
        ON_CALL(*srcInline, item(static_cast<std::int32_t>(k + 1))).WillByDefault(Return(shapes[k].shape));
    }
}

void EngineHarness::setContentShapes(const std::vector<ShapeDouble>& shapes) {
    ON_CALL(*contentShapes, count()).WillByDefault(Return(static_cast<std::int32_t>(shapes.size())));
    std::vector<word::ShapePtr> all;
    for (std::size_t k = 0; k < shapes.size(); ++k) {
        ON_CALL(*contentShapes, item(static_cast<std::int32_t>(k + 1))).WillByDefault(Return(shapes[k].shape));
        all.push_back(shapes[k].shape);
    }
    setDocumentShapes(all);
}

void EngineHarness::setDocumentShapes(const std::vector<word::ShapePtr>& shapes) {
    ON_CALL(*srcShapes, count()).WillByDefault(Return(static_cast<std::int32_t>(shapes.size())));
    for (std::size_t k = 0; k < shapes.size(); ++k) {
        ON_CALL(*srcShapes, item(static_cast<std::int32_t>(k + 1))).WillByDefault(Return(shapes[k]));
    }
}

Engine& EngineHarness::engine() {
    if (!engine_) engine_ = std::make_unique<Engine>(state, conditions, rules, display, clipboard, events, timer);
    return *engine_;
}

WalkOnlyEngine& EngineHarness::walkEngine() {
    if (!walkEngine_) {
        walkEngine_ = std::make_unique<WalkOnlyEngine>(state, conditions, rules, display, clipboard, events, timer);
    }
    return *walkEngine_;
}

}  // namespace kelvaran::engine::testing
