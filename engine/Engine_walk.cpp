// The walk over a document's inline shapes and floating shapes, groups taken
// apart and rebuilt, text boxes.

#include "engine/Checked.h"
#include "engine/Engine.h"
#include "platform/Conversions.h"
#include "platform/Host.h"

#include <algorithm>
#include <optional>

namespace kelvaran::engine {

namespace word = office::word;
namespace wc = office::word::constants;

namespace {
bool startsWithLower(const std::string& name, const std::string& prefix) {
    return platform::asciiLower(name.substr(0, prefix.size())) == prefix;
}
}  // namespace

// What the report says of an inline shape the walk does not convert or that
// failed: where it stands and its size, as far as they can be read.
void Engine::tellInline(const word::InlineShapePtr& shape, const std::string& kind, const std::string& placement,
                        const char* decision, const std::string& reason) {
    ObjectDecision told{kind, placement, 0, 0, 0, 0, 0, {}, decision};
    attempt([&] {
        told.page = office::variantToInt32(
            obj(obj(shape).Range()).Information(wc::wdActiveEndAdjustedPageNumber));
    });
    attempt([&] {
        told.displayWidth = obj(shape).Width();
        told.displayHeight = obj(shape).Height();
    });
    told.reason = reason;
    tell(std::move(told));
}

std::int32_t Engine::ProbeInlineShape(std::int32_t index) {
    try {
        obj(obj(obj(state_.srcDoc).InlineShapes()).item(index)).Type();
        return 0;
    } catch (const std::exception&) {
        return -1;
    }
}

std::string Engine::objectKindFromProgId(const std::string& progId) {
    return progId.substr(0, progId.find('.'));
}

void Engine::registerKind(const std::string& objectKind) {
    std::string value = "False";
    rules_.AddToExceptionList(objectKind, value);
}

bool Engine::conversionRuleSaysConvert(bool isPicture, bool isObject, const std::string& objectKind) {
    if (isPicture) return true;
    return conditions_.ConvertObjects() && isObject && rules_.ObjToImage(objectKind) != kFormatNone;
}

// Only an observer asks how many objects lie ahead: the walk itself reads
// the floating shapes when it gets to them.
void Engine::announceObjects(std::int32_t inlineCount) {
    if (!observer_) return;
    std::int32_t floating = 0;
    attempt([&] { floating = obj(obj(state_.srcDoc).Shapes()).count(); });
    try {
        observer_->objectsAhead(inlineCount + floating);
    } catch (const std::exception&) {
        // A report that cannot take the count does not change the walk.
    }
}

std::string Engine::WalkDocument(const word::ShapePtr& group, bool isTop) {
    // Every step below handles its own failures; this only keeps anything
    // unforeseen from ending the batch run.
    try {
        std::string result = walk(group, isTop);
        if (isTop && !state_.stopRequested && conditions_.Headers()) walkHeadersFooters();
        return result;
    } catch (const std::exception&) {
        storyRange_.reset();
        story_.clear();
        return {};
    }
}

void Engine::walkHeadersFooters() {
    std::vector<word::HeaderFooterRange> stories;
    if (!attempt([&] { stories = obj(state_.srcDoc).HeaderFooterRanges(); })) return;
    for (const auto& story : stories) {
        if (!story.range) continue;
        storyRange_ = story.range;
        story_ = story.footer ? "footer" : "header";
        // A story whose shapes cannot be counted is passed over.
        walkInlineShapes(story.range);
        storyRange_.reset();
        story_.clear();
        if (state_.stopRequested) return;
    }
}

// The inline shapes of the document, last to first; false when the walk
// ends here (the shapes cannot be counted, or a stop was asked for).
bool Engine::walkInlineShapes(const word::RangePtr& story) {
    auto shapes = [&] { return story ? obj(story).InlineShapes() : obj(state_.srcDoc).InlineShapes(); };
    auto probe = [&](std::int32_t i) {
        if (!story) return ProbeInlineShape(i);
        return attempt([&] { obj(obj(shapes()).item(i)).Type(); }) ? 0 : -1;
    };
    std::int32_t count = 0;
    try {
        count = obj(shapes()).count();
    } catch (const std::exception&) {
        return false;
    }
    if (!story) announceObjects(count);
    for (std::int32_t i = count; i >= 1; --i) {
        std::optional<std::string> converting;
        word::InlineShapePtr shape;
        try {
            if (probe(i) == 0) {
                shape = obj(shapes()).item(i);
                keepWordMinimised();
                keepExcelMinimised();
                bool isPicture = false;
                bool isObject = false;
                std::string objectKind;
                progId_.clear();
                const std::int32_t type = obj(shape).Type();
                if (type == wc::wdInlineShapePicture) {
                    isPicture = true;
                    objectKind = kPicture;
                } else if (type == wc::wdInlineShapeEmbeddedOLEObject || type == wc::wdInlineShapeLinkedOLEObject) {
                    isObject = true;
                    const std::string progId = obj(obj(shape).OLEFormat()).progId();
                    progId_ = progId;
                    if (!progId.empty()) {
                        objectKind = objectKindFromProgId(progId);
                        registerKind(objectKind);
                    }
                }
                if (conversionRuleSaysConvert(isPicture, isObject, objectKind)) {
                    converting = objectKind;
                    ConvertInlineShape(shape, i, false, objectKind);
                    converting.reset();
                } else if (isObject) {
                    tell({objectKind, "inline", 0, 0, 0, 0, 0, {}, "excluded"});
                } else if (type == wc::wdInlineShapeLinkedPicture) {
                    // Neither picture nor object: the walk leaves it, and the
                    // report says why.
                    tellInline(shape, kPicture, "inline", "linked", {});
                }
            }
        } catch (const std::exception& failure) {
            // This shape stays as it is; the pass goes on.
            if (converting) tellInline(shape, *converting, "inline", "failed", failureReason(failure));
        }
        if (pumpAndCheckStop()) return false;
    }
    return true;
}

// One floating shape of the document or of a group taken apart: converted,
// taken apart itself, its text box walked, or left; the name it is known by
// afterwards goes to `shapeNames`.
void Engine::walkFloatingShape(const word::ShapePtr& shape, std::vector<std::string>& shapeNames) {
    events_.processEvents();
    keepMinimisedTolerant();

    double width = 0;
    double height = 0;
    const bool sizeKnown = attempt([&] {
        width = shape->Width();
        height = shape->Height();
    });

    std::string name;
    const bool nameKnown = attempt([&] { name = shape->Name(); });
    bool isPicture = false;
    bool isObject = false;
    std::string objectKind;
    progId_.clear();
    if (nameKnown && startsWithLower(name, "picture ")) {
        isPicture = true;
        objectKind = kPicture;
    } else if (nameKnown && startsWithLower(name, "object ")) {
        isObject = true;
        attempt([&] {
            const std::string progId = obj(shape->OLEFormat()).progId();
            progId_ = progId;
            if (!progId.empty()) {
                objectKind = objectKindFromProgId(progId);
                registerKind(objectKind);
            }
        });
    }
    auto recordName = [&] {
        if (nameKnown) shapeNames.push_back(name);
    };

    std::int32_t type = 0;
    const bool typeKnown = attempt([&] { type = shape->Type(); });
    // A linked picture shows a file kept outside the document: there is
    // nothing of its own to make smaller, so it stays as it is.
    const bool linkedPicture = typeKnown && type == wc::msoLinkedPicture;
    bool convert = false;
    if (typeKnown && sizeKnown && !linkedPicture && type != wc::msoGroup && type != wc::msoMedia) {
        attempt([&] { convert = conversionRuleSaysConvert(isPicture, isObject, objectKind); });
    }

    if (typeKnown && type == wc::msoGroup) {
        bool takeApart = false;
        attempt([&] {
            const std::int32_t n = platform::textToInt32(conditions_.PixelSizeText());
            takeApart = sizeKnown && width > n && height > n;
        });
        if (takeApart) {
            shapeNames.push_back(WalkDocument(shape, false));
        } else {
            recordName();
        }
    } else if (convert) {
        std::int32_t result = -1;
        const std::string kind = objectKind;
        failure_.clear();
        std::string failure;
        attempt([&] { result = ConvertFloatingShape(shape, shapeNames, width, height, objectKind); }, failure);
        if (result == -1) {
            ObjectDecision failed{kind, "floating", 0, width, height, 0, 0, {}, "failed"};
            // What the failure said, or that the office gave up without a word.
            failed.reason = !failure.empty()    ? failure
                            : !failure_.empty() ? failure_
                                                : std::string("the office could not convert it");
            tell(std::move(failed));
            recordName();
        }
    } else if (linkedPicture) {
        tell({kPicture, "floating", 0, width, height, 0, 0, {}, "linked"});
        recordName();
    } else if (typeKnown && sizeKnown && type == wc::msoTextBox) {
        walkTextBox(shape);
        recordName();
    } else {
        if (isObject && typeKnown && sizeKnown && type != wc::msoMedia) {
            tell({objectKind, "floating", 0, width, height, 0, 0, {}, "excluded"});
        }
        recordName();
    }
}

std::string Engine::walk(const word::ShapePtr& group, bool isTop) {
    // A minimising failure here is not worth ending the walk for; the same
    // upkeep is repeated for every object.
    keepMinimisedTolerant();

    if (isTop && !walkInlineShapes(nullptr)) return {};

    std::vector<std::string> shapeNames;
    word::ShapePtr placeholderGroup;
    word::ShapeRangePtr members;
    try {
        if (obj(obj(state_.srcDoc).Shapes()).count() == 0) return {};
        display_.setStatus(display_.statusText() + ".");
        if (isTop) {
            members = obj(obj(state_.srcDoc).Content()).ShapeRange();
        } else {
            std::string keptWhole;
            if (!prepareGroupMembers(group, members, placeholderGroup)) {
                attempt([&] { keptWhole = obj(group).Name(); });
                return keptWhole;
            }
        }
    } catch (const std::exception&) {
        if (isTop) return {};
        std::string keptWhole;
        attempt([&] { keptWhole = obj(group).Name(); });
        return keptWhole;
    }

    std::int32_t count = 0;
    attempt([&] { count = obj(members).count(); });
    for (std::int32_t i = count; i >= 1; --i) {
        word::ShapePtr shape;
        if (attempt([&] { shape = members->item(i); }) && shape) walkFloatingShape(shape, shapeNames);
        if (pumpAndCheckStop()) return {};
    }

    if (isTop) return {};
    return rebuildGroup(shapeNames, placeholderGroup);
}

// Ungroups `group` with two placeholder shapes grouped meanwhile.  True when
// the members are ready; otherwise the placeholders added so far are removed
// again and the group is still whole.
bool Engine::prepareGroupMembers(const word::ShapePtr& group, word::ShapeRangePtr& members,
                                        word::ShapePtr& placeholderGroup) {
    word::ShapePtr rectangle;
    word::ShapePtr oval;
    try {
        auto shapes = need(obj(state_.srcDoc).Shapes());
        rectangle = need(shapes->AddShape(wc::msoShapeRectangle, 0, 0, 1, 1));
        oval = need(shapes->AddShape(wc::msoShapeOval, 2, 0, 1, 1));
        obj(obj(state_.srcDoc).Windows(1)).Activate();
        rectangle->Select();
        oval->Select(false);
        placeholderGroup = obj(obj(obj(state_.appWORD).Selection()).ShapeRange()).Group();
        obj(placeholderGroup);
        obj(group).Select();
        members = obj(group).Ungroup();
        obj(members);
        return true;
    } catch (const std::exception&) {
        if (placeholderGroup) {
            attempt([&] { placeholderGroup->Delete(); });
        } else {
            if (oval) attempt([&] { oval->Delete(); });
            if (rectangle) attempt([&] { rectangle->Delete(); });
        }
        placeholderGroup.reset();
        members.reset();
        return false;
    }
}

std::string Engine::rebuildGroup(const std::vector<std::string>& shapeNames, const word::ShapePtr& placeholderGroup) {
    auto selection = [&] { return need(obj(state_.appWORD).Selection()); };
    attempt([&] { selection()->Collapse(); });

    std::string placeholderName;
    const bool placeholderKnown = attempt([&] { placeholderName = obj(placeholderGroup).Name(); });

    std::vector<std::string> selected;
    attempt([&] {
        auto shapes = need(obj(state_.srcDoc).Shapes());
        const std::int32_t count = shapes->count();
        for (std::int32_t k = 1; k <= count; ++k) {
            attempt([&] {
                auto s = need(shapes->item(k));
                const std::string name = s->Name();
                if (placeholderKnown && name == placeholderName) return;
                if (std::find(shapeNames.begin(), shapeNames.end(), name) == shapeNames.end()) return;
                s->Select(false);
                selected.push_back(name);
            });
        }
    });

    std::string result;
    if (selected.size() >= 2) {
        attempt([&] { result = obj(obj(selection()->ShapeRange()).Group()).Name(); });
    } else if (selected.size() == 1) {
        // One member cannot form a group: it stays on its own under its name.
        result = selected.front();
    }
    attempt([&] { obj(placeholderGroup).Delete(); });
    return result;
}

// Converts the inline pictures in a text box's text, last to first, and sets
// the box back to its size when all of them went through.  A box without
// pictures, or whose size could not be read, is not resized.
void Engine::walkTextBox(const word::ShapePtr& textBox) {
    std::int64_t width = 0;
    std::int64_t height = 0;
    const bool sizeKept = attempt([&] {
        width = platform::roundHalfEven(textBox->Width());
        height = platform::roundHalfEven(textBox->Height());
    });
    auto inlineShapes = [&] { return need(obj(obj(textBox->TextFrame()).TextRange()).InlineShapes()); };

    std::int32_t count = 0;
    attempt([&] { count = inlineShapes()->count(); });
    if (count <= 0) return;
    for (std::int32_t j = count; j >= 1; --j) {
        std::string kind = kPicture;
        word::InlineShapePtr shape;
        std::string failure;
        const bool done = attempt(
            [&] {
                shape = inlineShapes()->item(j);
                ConvertInlineShape(shape, j, true, kind);
            },
            failure);
        if (!done) {
            if (shape) tellInline(shape, kPicture, "text_frame", "failed", failure);
            return;
        }
    }
    if (sizeKept) {
        attempt([&] { textBox->setWidth(static_cast<double>(width)); });
        attempt([&] { textBox->setHeight(static_cast<double>(height)); });
    }
}

}  // namespace kelvaran::engine
