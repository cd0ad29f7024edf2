#include "formats/doc/CompoundFile.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <mutex>
#include <type_traits>

#include "formats/doc/CompoundValidator.h"
#include "formats/doc/DocError.h"
#include "platform/LargeBuffers.h"
#include "platform/LibraryStart.h"

namespace kelvaran::formats::doc {
namespace {

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

void quietLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

void initGsf()
{
    static std::once_flag once;
    std::call_once(once, [] {
        {
            // The picture library may be starting it on another thread.
            std::lock_guard<std::mutex> starting(platform::libraryStartLock());
            gsf_init();
        }
        // The validator has already refused what libgsf would complain about; keep its
        // remaining warnings about odd but readable files off the user's terminal.
        g_log_set_handler("libgsf:msole", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE), quietLog,
                          nullptr);
    });
}

template <typename T>
struct GObjectPtr {
    T* p = nullptr;
    explicit GObjectPtr(T* q) : p(q) {}
    ~GObjectPtr()
    {
        if (p)
            g_object_unref(p);
    }
    GObjectPtr(const GObjectPtr&) = delete;
    GObjectPtr& operator=(const GObjectPtr&) = delete;
};

void readTree(GsfInfile* in, CompoundEntry& out, int depth)
{
    if (depth > 64)
        throw DocError(DocError::Kind::Damaged, "the document is damaged (storages nested too deeply)");
    out.isStorage = true;
    gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(in), out.classId.data());
    const int n = gsf_infile_num_children(in);
    for (int i = 0; i < n; ++i) {
        GObjectPtr<GsfInput> child(gsf_infile_child_by_index(in, i));
        if (!child.p)
            throw DocError(DocError::Kind::Damaged, "the document is damaged (an entry cannot be opened)");
        CompoundEntry e;
        const char* name = gsf_infile_name_by_index(in, i);
        e.name = name ? name : "";
        if (GSF_IS_INFILE(child.p) && gsf_infile_num_children(GSF_INFILE(child.p)) >= 0) {
            readTree(GSF_INFILE(child.p), e, depth + 1);
        } else {
            const gsf_off_t size = gsf_input_size(child.p);
            if (size < 0 || static_cast<std::uint64_t>(size) > CompoundFile::kMaxInputSize)
                throw DocError(DocError::Kind::Damaged, "the document is damaged (a stream has an impossible size)");
            e.data = platform::largeString(static_cast<std::size_t>(size));
            std::size_t done = 0;
            while (done < e.data.size()) {
                const std::size_t chunk = std::min<std::size_t>(e.data.size() - done, 1 << 16);
                if (!gsf_input_read(child.p, chunk, reinterpret_cast<guint8*>(&e.data[done])))
                    throw DocError(DocError::Kind::Damaged,
                                   "the document is damaged (the stream \"" + e.name + "\" cannot be read)");
                done += chunk;
            }
        }
        out.children.push_back(std::move(e));
    }
}

// `Entry` is const for a container that stays as it is; otherwise every stream
// is emptied as soon as it is written.
template <typename Entry>
void writeTree(GsfOutfile* out, Entry& storage)
{
    for (Entry& e : storage.children) {
        GsfOutput* child = gsf_outfile_new_child(out, e.name.c_str(), e.isStorage ? TRUE : FALSE);
        if (!child)
            throw DocError(DocError::Kind::CannotWrite, "the entry \"" + e.name + "\" could not be created");
        GObjectPtr<GsfOutput> guard(child);
        if (e.isStorage) {
            gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(child), e.classId.data());
            writeTree(GSF_OUTFILE(child), e);
        } else if (!e.data.empty()
                   && !gsf_output_write(child, e.data.size(), reinterpret_cast<const guint8*>(e.data.data()))) {
            throw DocError(DocError::Kind::CannotWrite, "the stream \"" + e.name + "\" could not be written");
        }
        if constexpr (!std::is_const_v<Entry>)
            std::string().swap(e.data);  // libgsf keeps its own copy
        // Each stream is closed before the next starts: libgsf writes one big stream at a time.
        if (!gsf_output_close(child))
            throw DocError(DocError::Kind::CannotWrite, "the entry \"" + e.name + "\" could not be finished");
    }
}

template <typename Entry>
std::string writeCompound(Entry& root)
{
    initGsf();
    GObjectPtr<GsfOutput> sink(gsf_output_memory_new());
    GsfOutfile* rootOut = gsf_outfile_msole_new(sink.p);
    if (!rootOut)
        throw DocError(DocError::Kind::CannotWrite, "the compound file could not be started");
    {
        GObjectPtr<GsfOutfile> guard(rootOut);
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(rootOut), root.classId.data());
        writeTree(rootOut, root);
        if (!gsf_output_close(GSF_OUTPUT(rootOut)))
            throw DocError(DocError::Kind::CannotWrite, "the compound file could not be finished");
    }
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.p));
    const gsf_off_t size = gsf_output_size(sink.p);
    if (!data || size <= 0)
        throw DocError(DocError::Kind::CannotWrite, "the compound file came out empty");
    return std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size));
}

}  // namespace

const CompoundEntry* CompoundEntry::child(std::string_view childName) const
{
    for (const CompoundEntry& e : children)
        if (sameName(e.name, childName))
            return &e;
    return nullptr;
}

CompoundEntry* CompoundEntry::child(std::string_view childName)
{
    for (CompoundEntry& e : children)
        if (sameName(e.name, childName))
            return &e;
    return nullptr;
}

bool CompoundEntry::removeChild(std::string_view childName)
{
    auto it = std::find_if(children.begin(), children.end(),
                           [&](const CompoundEntry& e) { return sameName(e.name, childName); });
    if (it == children.end())
        return false;
    children.erase(it);
    return true;
}

CompoundEntry& CompoundEntry::addStream(std::string childName, std::string bytes)
{
    CompoundEntry e;
    e.name = std::move(childName);
    e.data = std::move(bytes);
    children.push_back(std::move(e));
    return children.back();
}

CompoundFile CompoundFile::fromBytes(std::string_view bytes)
{
    if (!CompoundValidator::hasSignature(bytes))
        throw DocError(DocError::Kind::NotAWordDocument,
                       "the file is not a Word 97-2003 document (it is not a compound file)");
    if (bytes.size() > kMaxInputSize)
        throw DocError(DocError::Kind::Damaged, "the document is too large to be read");
    const std::string problem = CompoundValidator::check(bytes);
    if (!problem.empty())
        throw DocError(DocError::Kind::Damaged, "the document is damaged or truncated (" + problem + ")");
    // Siblings of the root lead to nothing the library shows, but it loses
    // the memory of what it reads there: they are cut from a copy it reads
    // instead (only damaged files have them).
    std::string unlinked;
    if (const std::size_t links = CompoundValidator::rootSiblingLinks(bytes)) {
        unlinked.assign(bytes);
        unlinked.replace(links, 8, 8, '\xFF');
        bytes = unlinked;
    }
    initGsf();
    GObjectPtr<GsfInput> input(gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.data()),
                                                    static_cast<gsf_off_t>(bytes.size()), FALSE));
    GError* err = nullptr;
    GObjectPtr<GsfInfile> infile(gsf_infile_msole_new(input.p, &err));
    if (!infile.p) {
        std::string why = err && err->message ? err->message : "unknown reason";
        if (err)
            g_error_free(err);
        throw DocError(DocError::Kind::Damaged, "the document is damaged (" + why + ")");
    }
    CompoundFile file;
    readTree(infile.p, file.root, 0);
    return file;
}

std::string CompoundFile::toBytes() const&
{
    return writeCompound(root);
}

std::string CompoundFile::toBytes() &&
{
    return writeCompound(root);
}

}  // namespace kelvaran::formats::doc
