// Zip archives of the CSV export, built in memory with libzip and written as one atomic
// replacement of the archive: no shell, no command line, no text file on disk.
#ifndef RDR_CSV_OUTPUT_ARCHIVE_H
#define RDR_CSV_OUTPUT_ARCHIVE_H

#include <string>
#include <vector>

namespace rdr_export {

struct ArchiveEntry {
    std::string name;  // stored as given: no folders, any bytes but '/'
    std::string text;
};

// The final part of a path: what an archive stores a file as. Empty for a path ending in '/'.
std::string entryName(const std::string& path);

// Replaces szArchive with a new archive of the entries (deflated), in order. False with the
// reason in *pWhy; the old archive is then untouched and no temporary file remains.
bool writeZipArchive(const std::string& archive, const std::vector<ArchiveEntry>& entries,
                     std::string* pWhy);

}  // namespace rdr_export

#endif
