#pragma once

#include "formats/model/Document.h"

#include <map>
#include <memory>
#include <string>

namespace kelvaran::office::native {

class WordSession;

// One open document of the in-process Word: the model, its file name and
// the state the object model reports.  Every object handed out for the
// document holds a pointer to this and checks that it is still open.
class DocumentState {
public:
    DocumentState(WordSession& session, formats::model::Document model, std::string fullName, bool readOnly,
                  bool fresh);

    WordSession& session;
    formats::model::Document model;
    std::string fullName;
    // The path the document was read from (empty for a new one): never written.
    std::string inputPath;
    bool readOnly = false;
    // Made by Documents.add: its file format follows the first SaveAs.
    bool fresh = false;
    bool saved = true;
    bool closed = false;

    // Fails with OfficeError once the document is closed.
    void checkOpen() const;
    // Marks an edit: the document now differs from its file, and what the
    // model worked out from it (its index, its page layout) is out of date.
    void touch() {
        saved = false;
        model.changed();
    }

    // A live shape or inline object; OfficeError when it was deleted.
    formats::model::FloatingShape& shape(int index);
    formats::model::InlineObject& inlineObject(int index);
    bool shapeLive(int index) const;

    // A shape name not yet used in this document: `base` + " " + number,
    // the number one above the highest in use for that base.
    std::string freshName(const std::string& base) const;
    // The name Word gives a shape of this type ("Picture", "Text Box", ...).
    static std::string baseNameFor(int type);
    // Gives unnamed shapes Word's kind of names; run once after reading.
    void nameUnnamedShapes();

    // Keeps the layout of an unchanged shape before the first edit, so that
    // settleLayout can tell a shape that was changed and changed back (the
    // program turns a shape upright to copy it and turns it back).
    void remember(int shape);
    // Clears the layout-changed mark of remembered shapes whose layout is as
    // it was read; run before writing.
    void settleLayout();

    // Rank (from 1) of a top-level shape in the stacking order, back to front.
    int zOrderPosition(int index) const;
    // Moves a top-level shape one step towards the back.
    void sendBackward(int index);
    // The other directions: one step forward, or all the way to the front or
    // the back.
    void bringForward(int index);
    void bringToFront(int index);
    void sendToBack(int index);

private:
    std::map<int, formats::model::FloatingShape> pristine_;
};

}  // namespace kelvaran::office::native
