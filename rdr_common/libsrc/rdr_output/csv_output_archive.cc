// The CSV export's zip archives: libzip writes the archive into a memory buffer, and the
// buffer replaces the archive file atomically.
#include <zip.h>

#include <memory>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "internal/csv_output_archive.h"

namespace rdr_export {

namespace {

struct ZipErrorText {
    zip_error_t error;
    ZipErrorText() { zip_error_init(&error); }
    ~ZipErrorText() { zip_error_fini(&error); }
    std::string text() { return zip_error_strerror(&error); }
};

using SourcePtr = std::unique_ptr<zip_source_t, decltype(&zip_source_free)>;

// What libzip left in the buffer source after closing the archive.
bool sourceBytes(zip_source_t* src, std::string* pBytes, std::string* pWhy) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_source_stat(src, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0 ||
        zip_source_open(src) != 0) {
        *pWhy = zip_error_strerror(zip_source_error(src));
        return false;
    }
    pBytes->resize(static_cast<size_t>(st.size));
    const zip_int64_t n = zip_source_read(src, pBytes->data(), st.size);
    zip_source_close(src);
    if (n < 0 || static_cast<zip_uint64_t>(n) != st.size) {
        *pWhy = "the archive could not be read back from memory";
        return false;
    }
    return true;
}

}  // namespace

std::string entryName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool writeZipArchive(const std::string& archive, const std::vector<ArchiveEntry>& entries,
                     std::string* pWhy) {
    if (entries.empty()) {
        *pWhy = "nothing to archive";
        return false;
    }
    ZipErrorText error;
    SourcePtr src(zip_source_buffer_create(nullptr, 0, 0, &error.error), &zip_source_free);
    if (!src) {
        *pWhy = error.text();
        return false;
    }
    // The archive takes a reference of its own; ours reads the bytes after it is closed.
    zip_source_keep(src.get());
    zip_t* za = zip_open_from_source(src.get(), ZIP_TRUNCATE, &error.error);
    if (za == nullptr) {
        zip_source_free(src.get());  // the reference the archive did not take
        *pWhy = error.text();
        return false;
    }
    for (const ArchiveEntry& entry : entries) {
        zip_source_t* data = zip_source_buffer(za, entry.text.data(), entry.text.size(), 0);
        if (data == nullptr || zip_file_add(za, entry.name.c_str(), data, ZIP_FL_ENC_GUESS) < 0) {
            *pWhy = "cannot add " + entry.name + " (" + zip_error_strerror(zip_get_error(za)) + ")";
            if (data != nullptr) {
                zip_source_free(data);
            }
            zip_discard(za);
            return false;
        }
    }
    if (zip_close(za) != 0) {
        *pWhy = zip_error_strerror(zip_get_error(za));
        zip_discard(za);
        return false;
    }
    std::string bytes;
    return sourceBytes(src.get(), &bytes, pWhy) &&
           writeFileAtomically(archive, bytes.data(), bytes.size(), pWhy);
}

}  // namespace rdr_export
