#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "formats/doc/CompoundFile.h"
#include "formats/doc/DocInventory.h"
#include "formats/doc/Fib.h"

namespace kelvaran::formats::doc {

// A Word 97-2003 document opened read-only from its bytes: the compound file,
// the FIB, the text and the inventory of pictures, objects and shapes.  Edits are
// recorded with the replace... calls and applied by save(), which patches a copy
// of the original streams; the input file is never touched.
class DocDocument {
public:
    // Throws DocError with a message a user can read when the document is refused.
    static DocDocument open(const std::string& path);
    static DocDocument fromBytes(std::string_view bytes);
    // The same for bytes it may let go of: `bytes` is reset once the compound
    // file has been read out of it, before the pictures are, so a large file
    // is not held three times over.
    static DocDocument fromOwnedBytes(std::shared_ptr<const std::string> bytes);
    // A new empty document (the scratch document).
    static DocDocument createEmpty();

    const Fib& fib() const { return fib_; }
    const DocInventory& inventory() const { return inventory_; }
    const CompoundFile& container() const { return *file_; }
    // The whole text of every story in CP order (UTF-16 code units).
    const std::u16string& text() const { return text_; }
    // The main story as UTF-8 with paragraph marks as '\n'; special characters dropped.
    std::string mainText() const;
    // The frame of the paragraph holding `cp`, when it is positioned by one.
    std::optional<FrameInfo> frameAt(std::uint32_t cp) const;
    // Layout (DocDocumentLayout.cpp).  Spacing, indents and table flags of
    // the paragraph holding `cp`, from its style and its own properties.
    ParagraphLayout paragraphLayoutAt(std::uint32_t cp) const;
    // The character size at `cp` in half points, from the paragraph's style
    // and the character's own properties; 0 when neither sets one.
    int fontHalfPointsAt(std::uint32_t cp) const;
    // The character size of the Normal style in half points (20, the file
    // format's default, when the style sheet does not set one).
    int normalStyleHalfPoints() const;

    // Replacements; each throws DocError(CannotWrite) when the picture cannot be
    // stored.  The displayed size stays as it was.
    void replaceInlinePicture(std::size_t index, PictureFormat format, std::string file);
    void replaceFloatingPicture(std::size_t index, PictureFormat format, std::string file);
    // The object's result picture becomes a plain picture with `file` as its data;
    // the object's field and its storage leave the document.
    void convertObjectToPicture(std::size_t index, PictureFormat format, std::string file);
    // Why object `index` cannot become a picture, empty when it can.
    std::string whyObjectCannotBecomePicture(std::size_t index) const;
    // A floating object (shape `index`) becomes a floating picture shape with
    // `file` as its picture, keeping its anchor and layout; the field in its
    // text-box story and its storage leave the document when they can.
    void convertFloatingObjectToPicture(std::size_t index, PictureFormat format, std::string file);
    std::string whyShapeCannotBecomePicture(std::size_t index) const;
    bool hasChanges() const { return !inlineEdits_.empty() || !floatingEdits_.empty() || !objectEdits_.empty(); }

    // The document with every recorded change, as bytes of a new compound file.
    std::string saveToBytes() const;
    // The document as it was read with `data` appended to its Data stream, where
    // nothing points, and `storages` added to its ObjectPool under names of their
    // own.  The scratch document is saved this way so that its file grows by what
    // the objects pasted into it cost while it stays a valid, empty document.
    std::string saveWithUnreferencedParts(std::string data, std::vector<CompoundEntry> storages) const;
    // Writes saveToBytes() through a temporary file and a rename; the result is read
    // back before it replaces anything.  Throws DocError(CannotWrite).
    void save(const std::string& path) const;

    // Internal pieces shared by the reader and the writer.
    struct Piece {
        std::uint32_t cpStart, cpEnd, fc;
        bool compressed;
        std::uint16_t prm;
        std::size_t prmOffset; // in the table stream
    };
    struct PropertyRun {
        std::uint32_t fcStart, fcEnd;
        std::size_t grpprlBegin, grpprlEnd; // in the WordDocument stream
    };
    struct Edit {
        std::size_t index;
        PictureFormat format;
        std::string file;
    };
    // Characters [begin, end) of the whole text.
    struct CpRange {
        std::uint32_t begin, end;
    };

    // Why characters cannot be taken out of this document's text (a converted
    // object's field goes that way), empty when they can: the document holds a
    // table of text positions the writer does not update.
    std::string whyTextCannotShrink() const;
    // Whether properties of paragraphs or table rows that Word keeps in the
    // Data stream lie in its bytes [begin, end): a picture block holding them
    // cannot be replaced.
    bool paragraphPropertiesWithin(std::uint64_t begin, std::uint64_t end) const;

private:
    DocDocument() = default;
    void load();
    void readPieces();
    void readText();
    void readPropertyRuns(std::size_t pair, bool paragraphs, std::vector<PropertyRun>& out);
    std::vector<struct Sprm> charSprms(std::uint32_t cp, std::string_view* buffer = nullptr) const;
    std::uint32_t fcOfCp(std::uint32_t cp, bool* ok) const;
    const PropertyRun* runAt(const std::vector<PropertyRun>& runs, std::uint32_t fc) const;
    void readInlinePictures(BlipReader& blips);
    void readFields();
    void readShapes(BlipReader& blips);
    void readPageBreaksAndFrames();
    void readStyles();
    // The style index of the paragraph holding `cp` (0, Normal, when unknown).
    std::size_t styleAt(std::uint32_t cp) const;
    // Its style and the styles it is based on, the style itself first.
    std::vector<std::size_t> styleChain(std::size_t istd) const;
    StoryKind storyOf(std::uint32_t cp) const;
    std::string_view stream(const char* name) const;
    std::string tableName() const { return fib_.useTable1 ? "1Table" : "0Table"; }

    // Saving, one phase after the other (DocDocumentWrite.cpp).
    struct DataBlock {
        std::uint32_t offset, length;  // of the old block in the Data stream
        std::string bytes;             // the new block
        int object = -1;               // a new block for the picture of this object, which had none
    };
    // Properties given to single characters through the piece table, as
    // property lists by character position.
    using CharacterProperties = std::map<std::uint32_t, std::string>;
    // `given`: the block to start from instead of the picture's own.
    DataBlock newInlineBlock(const InlinePicture& p, PictureFormat format, const std::string& file, bool dropOle,
                             std::string_view given = {}) const;
    std::vector<DataBlock> newInlineBlocks() const;
    // `placed` receives where the new blocks of objects landed, by object.
    std::string patchedData(std::vector<DataBlock>& blocks, std::string& w, std::string& t,
                            std::map<int, std::uint32_t>& placed) const;
    DataBlock newStoragePictureBlock(std::size_t object, PictureFormat format, const std::string& file) const;
    // Converted objects' fields leave the text (DocDocumentFields.cpp).
    std::vector<CpRange> convertedFieldRanges() const;
    // The object storages no object left in the document uses.
    std::vector<std::string> storagesLeaving() const;
    // The object of a converted floating object when its whole field can
    // leave its text-box story, else nullptr.
    const EmbeddedObject* floatingObjectLeaving(std::size_t shape) const;
    // The inline pictures that leave with the fields of floating objects.
    std::set<std::size_t> picturesLeaving() const;
    void clearObjectMarks(std::string& t) const;
    void removeCharacters(const std::vector<CpRange>& ranges, const CharacterProperties& props, std::string& w,
                          std::string& t) const;
    void rewritePieces(const std::vector<CpRange>& ranges, const CharacterProperties& props, std::string& w,
                       std::string& t) const;
    const Piece* pieceAt(std::uint32_t cp) const;
    void storeFloatingPictures(std::string& w, std::string& t) const;
    std::size_t wordDocumentInUse(const std::string& w, const std::string& t) const;
    void checkReadBack(const std::string& bytes) const;

    // Never changed once read: copies of the document share the streams, and
    // saving patches a copy of its own.
    std::shared_ptr<const CompoundFile> file_ = std::make_shared<const CompoundFile>();
    Fib fib_;
    std::u16string text_;
    std::vector<Piece> pieces_;
    std::vector<std::pair<std::size_t, std::size_t>> prcGroups_; // grpprl ranges in the table stream
    std::vector<PropertyRun> chpRuns_, papRuns_;
    // The style sheet: each style's base and its property lists (offsets
    // into the table stream; empty ranges where it sets none).
    struct Style {
        std::size_t base = 0xFFF;
        std::size_t papxBegin = 0, papxEnd = 0;
        std::size_t chpxBegin = 0, chpxEnd = 0;
    };
    std::vector<Style> styles_;
    DocInventory inventory_;
    std::vector<Edit> inlineEdits_, floatingEdits_, objectEdits_;
    std::vector<std::size_t> floatingObjects_;  // shapes of floatingEdits_ that were objects
};

}  // namespace kelvaran::formats::doc
