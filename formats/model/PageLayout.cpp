// The page estimate: a simple layout of the main story.  Lines are filled
// with rough character widths (full-width characters one em, Latin letters
// about half of one), a line is as high as its characters or its tallest
// inline object, paragraphs add their spacing, a table row is placed as one
// block as high as its tallest cell, and a block that does not fit on the
// page begun goes to the next one.  Good enough to tell the user on which
// page an object stands; not a typesetter.
#include "formats/model/Document.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace kelvaran::formats::model {

namespace {

// A line is this many times as high as its character size.
constexpr double kLineHeight = 1.17;
// What a tab advances by.
constexpr double kTabPt = 36;
// Space a table cell keeps around its text.
constexpr double kCellPaddingPt = 5.4;

// Width of a character as a share of the character size.
double widthEm(char32_t c) {
    if (c == ' ') return 0.25;
    if (c < 0x80) {
        if (c < 0x20) return 0;
        if (std::strchr("il.,;:'|!`()[]ft", static_cast<int>(c))) return 0.3;
        if (c == 'm' || c == 'w' || c == 'M' || c == 'W') return 0.8;
        if (c >= 'A' && c <= 'Z') return 0.65;
        return 0.5;
    }
    if (c >= 0xFF61 && c <= 0xFF9F) return 0.5;  // half-width katakana
    if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
        (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
        (c >= 0xFFE0 && c <= 0xFFE6) || c >= 0x20000) {
        return 1.0;
    }
    return 0.55;
}

// The code points of a UTF-8 text; a broken sequence counts as one character.
std::vector<char32_t> codePoints(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80         ? 1
                                   : (lead >> 5) == 6  ? 2
                                   : (lead >> 4) == 14 ? 3
                                   : (lead >> 3) == 30 ? 4
                                                       : 1;
        if (at + length > text.size() || length == 1) {
            out.push_back(lead < 0x80 ? lead : 0xFFFD);
            ++at;
            continue;
        }
        char32_t c = lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
        out.push_back(c);
        at += length;
    }
    return out;
}

struct Line {
    double height = 0;
    std::int64_t end = 0;         // the position after the line's last character
    bool pageBreakAfter = false;  // an explicit page break ends the line
};

double fontSizeOf(const Document& document, const ParagraphProperties& props) {
    return props.fontSizePt > 0 ? props.fontSizePt : document.defaultFontSizePt > 0 ? document.defaultFontSizePt : 10.5;
}

double textLineHeight(const ParagraphProperties& props, double fontSize) {
    double height = fontSize * kLineHeight;
    if (props.lineMultiple > 0) height *= props.lineMultiple;
    if (props.lineSpacingPt < 0) return -props.lineSpacingPt;
    return std::max(height, props.lineSpacingPt);
}

// Lays elements [first, mark] of a story, one paragraph, into lines `width`
// points wide.  `start` is the position of element `first`.
std::vector<Line> layLines(const Document& document, const Story& story, std::size_t first, std::size_t mark,
                           std::int64_t start, double width, const ParagraphProperties& props) {
    const double fontSize = fontSizeOf(document, props);
    const double textHeight = textLineHeight(props, fontSize);
    const bool exact = props.lineSpacingPt < 0;
    width = std::max(width, fontSize);
    std::vector<Line> lines;
    Line line{textHeight, start, false};
    double x = 0;
    std::int64_t at = start;
    std::string scratch;
    auto breakLine = [&](bool page) {
        line.end = at;
        line.pageBreakAfter = page;
        lines.push_back(line);
        line = Line{textHeight, at, false};
        x = 0;
    };
    const std::size_t last = std::min(mark, story.elements.size());
    for (std::size_t i = first; i < last; ++i) {
        const Element& element = story.elements[i];
        switch (element.kind) {
            case ElementKind::Text: {
                // Hidden or unkept text takes no room.
                if (element.text.empty()) break;
                const std::vector<char32_t> chars = codePoints(element.text.view(scratch));
                const std::int64_t count = std::max<std::int64_t>(element.chars, 1);
                for (std::size_t k = 0; k < chars.size(); ++k) {
                    const char32_t c = chars[k];
                    const double advance = c == '\t' ? kTabPt - std::fmod(x, kTabPt) : widthEm(c) * fontSize;
                    const std::int64_t position =
                        at + static_cast<std::int64_t>(k) * count / static_cast<std::int64_t>(chars.size());
                    if (c == '\n' || c == 0x0B) {  // a line break within the paragraph
                        const std::int64_t saved = at;
                        at = position + 1;
                        breakLine(false);
                        at = saved;
                        continue;
                    }
                    if (x + advance > width && x > 0) {
                        const std::int64_t saved = at;
                        at = position;
                        breakLine(false);
                        at = saved;
                    }
                    x += advance;
                }
                break;
            }
            case ElementKind::Inline: {
                double objectWidth = 0;
                double objectHeight = 0;
                if (element.object >= 0 && element.object < static_cast<int>(document.inlines.size())) {
                    const InlineObject& object = document.inlines[static_cast<std::size_t>(element.object)];
                    objectWidth = std::max(0.0, object.widthPt);
                    objectHeight = std::max(0.0, object.heightPt);
                }
                if (x + objectWidth > width && x > 0) breakLine(false);
                x += objectWidth;
                if (!exact) line.height = std::max(line.height, objectHeight + fontSize * 0.25);
                break;
            }
            case ElementKind::PageBreak:
                at += element.chars;
                breakLine(true);
                continue;
            default: break;
        }
        at += element.chars;
    }
    at += 1;  // the mark
    line.end = at;
    lines.push_back(line);
    return lines;
}

// Where the flow stands: the page, how much of its body is filled, and the
// page setup of the section being laid out.
struct Flow {
    const Document& document;
    std::size_t section = 0;
    PageSetup page;
    int pageNumber = 1;
    double filled = 0;

    explicit Flow(const Document& doc) : document(doc) { useSection(0); }

    void useSection(std::size_t index) {
        section = index;
        page =
            document.sections.empty() ? PageSetup{} : document.sections[std::min(index, document.sections.size() - 1)];
    }
    double bodyHeight() const { return std::max(36.0, page.heightPt - page.marginTopPt - page.marginBottomPt); }
    double bodyWidth() const { return std::max(36.0, page.widthPt - page.marginLeftPt - page.marginRightPt); }
    void newPage() {
        ++pageNumber;
        filled = 0;
    }
    // Places a block (a line, a row) and returns its page.  A block that
    // does not fit on a begun page goes to the next one; one taller than a
    // page fills its page.
    int place(double height) {
        if (filled > 0 && filled + height > bodyHeight() + 0.01) newPage();
        const int on = pageNumber;
        filled = std::min(filled + height, bodyHeight());
        return on;
    }
    void space(double height) {
        if (filled > 0) filled += height;
    }
};

// Room that floating shapes take from the text, by the element of their
// anchor: a shape with top-and-bottom wrapping its whole height; one that
// text flows around (square, tight, through) the lines its area displaces,
// its height times the share of the line width it covers.  Only elements
// that anchor such a shape are listed, in element order.
using Blocking = std::vector<std::pair<std::size_t, double>>;

Blocking blockingShapes(const Document& document, double bodyWidth) {
    const std::size_t count = document.main().elements.size();
    Blocking extra;
    for (int index : document.shapesAnchoredIn(0)) {
        const FloatingShape& shape = document.shapes[static_cast<std::size_t>(index)];
        const int element = shape.anchor.element;
        if (element < 0 || static_cast<std::size_t>(element) >= count) continue;
        const double height = std::max(0.0, shape.heightPt) + shape.wrap.distanceTopPt + shape.wrap.distanceBottomPt;
        if (shape.wrap.type == 4) {
            extra.emplace_back(static_cast<std::size_t>(element), height);
        } else if (shape.wrap.type >= 0 && shape.wrap.type <= 2) {
            const double width = std::max(0.0, shape.widthPt) + shape.wrap.distanceLeftPt + shape.wrap.distanceRightPt;
            extra.emplace_back(static_cast<std::size_t>(element),
                               height * std::min(1.0, width / std::max(bodyWidth, 1.0)));
        }
    }
    // Summed per element in the order the shapes come, as a walk over the
    // elements adding them up would.
    std::stable_sort(extra.begin(), extra.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    Blocking merged;
    for (const auto& [element, height] : extra) {
        if (!merged.empty() && merged.back().first == element) {
            merged.back().second += height;
        } else {
            merged.emplace_back(element, 0.0 + height);
        }
    }
    return merged;
}

// The room taken by shapes anchored in elements [first, last].
double blockingIn(const Blocking& blocking, std::size_t first, std::size_t last) {
    double extra = 0;
    auto at = std::lower_bound(blocking.begin(), blocking.end(), first,
                               [](const auto& entry, std::size_t element) { return entry.first < element; });
    for (; at != blocking.end() && at->first <= last; ++at) extra += at->second;
    return extra;
}

// A paragraph's spacing before, its lines and its spacing after; the page of
// `position` when it lies in the paragraph, else 0.
// `reach` is set to the end of the paragraph's last line.
int layParagraph(Flow& flow, const Story& story, std::size_t first, std::size_t mark, std::int64_t start,
                 std::int64_t position, double extra, std::int64_t& reach) {
    const ParagraphProperties props =
        mark < story.elements.size() ? *story.elements[mark].paragraph : ParagraphProperties{};
    // A page break before a paragraph that already starts a page adds none.
    if (props.pageBreakBefore && flow.filled > 0) flow.newPage();
    flow.space(props.spaceBeforePt);
    const double width = flow.bodyWidth() - std::max(0.0, props.indentLeftPt) - std::max(0.0, props.indentRightPt);
    int found = 0;
    const std::vector<Line> lines = layLines(flow.document, story, first, mark, start, width, props);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const double height = lines[k].height + (k == 0 ? extra : 0.0);
        const int page = flow.place(height);
        if (found == 0 && position < lines[k].end) found = page;
        reach = std::max(reach, lines[k].end);
        if (lines[k].pageBreakAfter) flow.newPage();
    }
    flow.space(props.spaceAfterPt);
    return found;
}

// A line of a table cell: where it starts below the row's top, its height
// and the position after it.
struct CellLine {
    double top = 0;
    double height = 0;
    std::int64_t end = 0;
};

// Lays a table row that starts with element `first`; returns the index of
// its last element and sets `page` to the page of `position` when it lies
// in the row.  A row that fits on the page begun stays whole; a taller one
// breaks across pages between the lines of its tallest cell, and the other
// cells' lines go with the line of the tallest at the same height.
std::size_t layRow(Flow& flow, const Story& story, std::size_t first, std::int64_t position, int& page) {
    const auto& elements = story.elements;
    // The row's paragraphs: up to the row's own mark, or up to the first
    // paragraph outside the table.
    std::vector<std::pair<std::size_t, std::size_t>> paragraphs;
    int cellCount = 0;
    std::size_t i = first;
    while (i < elements.size()) {
        const std::size_t mark = story.paragraphEnd(i);
        if (mark >= elements.size()) break;
        const ParagraphProperties& props = *elements[mark].paragraph;
        if (!props.inTable && !props.rowEnd && !paragraphs.empty()) break;
        paragraphs.emplace_back(i, mark);
        if (props.cellEnd) ++cellCount;
        i = mark + 1;
        if (props.rowEnd || elements[mark].kind == ElementKind::SectionBreak) break;
    }
    if (paragraphs.empty()) return first;
    const double cellWidth = flow.bodyWidth() / std::max(1, cellCount) - 2 * kCellPaddingPt;
    std::vector<std::vector<CellLine>> cells(1);
    double y = 0;
    for (const auto& [from, mark] : paragraphs) {
        const ParagraphProperties& props = *elements[mark].paragraph;
        if (props.rowEnd) continue;  // the row's mark takes no line of its own
        const std::vector<Line> lines =
            layLines(flow.document, story, from, mark, flow.document.positionOf(0, from), cellWidth, props);
        for (std::size_t k = 0; k < lines.size(); ++k) {
            double height = lines[k].height;
            if (k == 0) height += props.spaceBeforePt;
            if (k + 1 == lines.size()) height += props.spaceAfterPt;
            cells.back().push_back(CellLine{y, height, lines[k].end});
            y += height;
        }
        if (props.cellEnd) {
            cells.emplace_back();
            y = 0;
        }
    }
    std::size_t tallest = 0;
    auto heightOf = [](const std::vector<CellLine>& cell) {
        return cell.empty() ? 0.0 : cell.back().top + cell.back().height;
    };
    for (std::size_t c = 0; c < cells.size(); ++c) {
        if (heightOf(cells[c]) > heightOf(cells[tallest])) tallest = c;
    }
    const double rowHeight = heightOf(cells[tallest]) + kCellPaddingPt;
    std::vector<int> pageOfLine;
    if (rowHeight <= flow.bodyHeight() - flow.filled + 0.01 || cells[tallest].size() < 2) {
        const int on = flow.place(rowHeight);
        pageOfLine.assign(cells[tallest].size(), on);
    } else {
        for (const CellLine& line : cells[tallest]) pageOfLine.push_back(flow.place(line.height));
        flow.space(kCellPaddingPt);
    }
    const std::int64_t begin = flow.document.positionOf(0, paragraphs.front().first);
    const std::int64_t end = flow.document.positionOf(0, paragraphs.back().second + 1);
    if (position >= begin && position < end) {
        page = pageOfLine.empty() ? flow.pageNumber : pageOfLine.front();
        for (const auto& cell : cells) {
            for (const CellLine& line : cell) {
                if (position >= line.end) continue;
                // The line of the tallest cell at the same height.
                std::size_t k = 0;
                while (k + 1 < cells[tallest].size() && cells[tallest][k + 1].top <= line.top) ++k;
                if (k < pageOfLine.size()) page = pageOfLine[k];
                return paragraphs.back().second;
            }
        }
    }
    return paragraphs.back().second;
}

// The flow before every few blocks (paragraphs, table rows) of the main
// story, so that a page can be looked up by laying out a few blocks from
// the nearest one instead of the whole story before it.
struct Checkpoint {
    std::size_t element = 0;
    std::size_t section = 0;
    int pageNumber = 1;
    double filled = 0;
    // Positions below this may find their page in a block up to the next
    // checkpoint (or earlier); at or above it, in none of them.
    std::int64_t reach = 0;
};

constexpr std::size_t kBlocksPerCheckpoint = 8;

// Lays out the main story from element `i` on, the flow standing as it does
// before it, and returns the page of `position` (the last page when the
// story ends before it).  With `checkpoints`, records the flow before every
// few blocks and how far their positions reach.
int layFrom(const Document& document, const Blocking& blocking, Flow& flow, std::size_t i, std::int64_t position,
            std::vector<Checkpoint>* checkpoints) {
    const Story& story = document.main();
    const auto& elements = story.elements;
    std::size_t blocks = 0;
    while (i < elements.size()) {
        const std::int64_t start = document.positionOf(0, i);
        if (position < start) break;
        if (checkpoints && blocks++ % kBlocksPerCheckpoint == 0) {
            const std::int64_t before = checkpoints->empty() ? 0 : checkpoints->back().reach;
            checkpoints->push_back(Checkpoint{i, flow.section, flow.pageNumber, flow.filled, before});
        }
        // How far the positions that this block answers for reach.
        std::int64_t reach = start + 1;
        const std::size_t mark = story.paragraphEnd(i);
        const bool table =
            mark < elements.size() && (elements[mark].paragraph->inTable || elements[mark].paragraph->rowEnd);
        std::size_t end = mark;
        if (table) {
            int page = 0;
            end = layRow(flow, story, i, position, page);
            if (page > 0) return page;
            reach = std::max(reach, document.positionOf(0, std::min(end + 1, elements.size())));
        } else {
            const double extra = blockingIn(blocking, i, std::min(mark, elements.size() - 1));
            const int page = layParagraph(flow, story, i, mark, start, position, extra, reach);
            if (page > 0) return page;
        }
        if (end < elements.size() && elements[end].kind == ElementKind::SectionBreak) {
            const std::int64_t breakAt = document.positionOf(0, end);
            if (position <= breakAt) return flow.pageNumber;
            reach = std::max(reach, breakAt + 1);
            switch (elements[end].section) {
                case SectionBreakKind::NewPage: flow.newPage(); break;
                case SectionBreakKind::OddPage:
                    flow.newPage();
                    if (flow.pageNumber % 2 == 0) ++flow.pageNumber;
                    break;
                case SectionBreakKind::EvenPage:
                    flow.newPage();
                    if (flow.pageNumber % 2 == 1) ++flow.pageNumber;
                    break;
                default: break;
            }
            flow.useSection(flow.section + 1);
        }
        if (checkpoints) checkpoints->back().reach = std::max(checkpoints->back().reach, reach);
        i = end + 1;
    }
    return flow.pageNumber;
}

// Other stories (headers, notes) are not laid out: one page plus one for
// every break before the position.
int countedPage(const Story& story, std::int64_t position) {
    const auto& elements = story.elements;
    int page = 1;
    std::int64_t at = 0;
    for (std::size_t i = 0; i < elements.size() && at < position; ++i) {
        const auto& element = elements[i];
        if (element.kind == ElementKind::PageBreak) ++page;
        if (element.kind == ElementKind::SectionBreak && element.section != SectionBreakKind::Continuous &&
            element.section != SectionBreakKind::NewColumn) {
            ++page;
        }
        at += element.chars;
    }
    return page;
}

}  // namespace

// The main story laid out once, for the document as it stood then.
struct PageLayoutCache {
    std::uint64_t revision = 0;
    std::size_t stories = 0;
    std::size_t elements = 0;
    std::size_t inlines = 0;
    std::size_t shapes = 0;
    std::size_t sections = 0;
    double defaultFontSizePt = 0;
    Blocking blocking;
    std::vector<Checkpoint> checkpoints;
    int lastPage = 1;
};

const PageLayoutCache& Document::pageLayout() const {
    const auto& kept = pageLayout_;
    if (kept && kept->revision == revision_ && kept->stories == stories.size() &&
        kept->elements == main().elements.size() && kept->inlines == inlines.size() &&
        kept->shapes == shapes.size() && kept->sections == sections.size() &&
        kept->defaultFontSizePt == defaultFontSizePt) {
        return *kept;
    }
    auto layout = std::make_shared<PageLayoutCache>();
    layout->revision = revision_;
    layout->stories = stories.size();
    layout->elements = main().elements.size();
    layout->inlines = inlines.size();
    layout->shapes = shapes.size();
    layout->sections = sections.size();
    layout->defaultFontSizePt = defaultFontSizePt;
    Flow flow(*this);
    layout->blocking = blockingShapes(*this, flow.bodyWidth());
    layout->lastPage = layFrom(*this, layout->blocking, flow, 0, std::numeric_limits<std::int64_t>::max(),
                               &layout->checkpoints);
    layout->checkpoints.shrink_to_fit();
    pageLayout_ = std::move(layout);
    return *pageLayout_;
}

int Document::pageInMainStory(std::int64_t position, bool fromStart) const {
    if (fromStart) {
        Flow flow(*this);
        const Blocking blocking = blockingShapes(*this, flow.bodyWidth());
        return layFrom(*this, blocking, flow, 0, position, nullptr);
    }
    const PageLayoutCache& layout = pageLayout();
    const auto& checkpoints = layout.checkpoints;
    // The first group of blocks that may hold the position's page; the ones
    // before it cannot, so the layout resumes where that group begins.
    const auto at = std::upper_bound(checkpoints.begin(), checkpoints.end(), position,
                                     [](std::int64_t p, const Checkpoint& c) { return p < c.reach; });
    if (at == checkpoints.end()) return layout.lastPage;
    Flow flow(*this);
    flow.useSection(at->section);
    flow.pageNumber = at->pageNumber;
    flow.filled = at->filled;
    return layFrom(*this, layout.blocking, flow, at->element, position, nullptr);
}

int Document::estimatePage(int story, std::int64_t position) const { return estimateIn(story, position, false); }

int Document::estimatePageFromStart(int story, std::int64_t position) const {
    return estimateIn(story, position, true);
}

int Document::estimateIn(int story, std::int64_t position, bool fromStart) const {
    // A position in a text box lies on the page of the box's anchor (the
    // anchor of its outermost group).  The guard stops on cyclic input.
    for (int guard = 0; guard < 64 && story > 0 && story < static_cast<int>(stories.size()); ++guard) {
        int owner = stories[static_cast<std::size_t>(story)].owner;
        if (owner < 0 || owner >= static_cast<int>(shapes.size())) break;
        for (int up = 0; up < 64 && shapes[static_cast<std::size_t>(owner)].parent >= 0; ++up) {
            owner = shapes[static_cast<std::size_t>(owner)].parent;
        }
        const auto& anchor = shapes[static_cast<std::size_t>(owner)].anchor;
        if (anchor.story < 0 || anchor.story >= static_cast<int>(stories.size()) || anchor.story == story) return 1;
        story = anchor.story;
        position = positionOf(story, static_cast<std::size_t>(std::max(0, anchor.element)));
    }
    if (story < 0 || story >= static_cast<int>(stories.size())) return 1;
    if (story == 0) return pageInMainStory(position, fromStart);
    if (stories[static_cast<std::size_t>(story)].owner >= 0) return 1;
    return countedPage(stories[static_cast<std::size_t>(story)], position);
}

}  // namespace kelvaran::formats::model
