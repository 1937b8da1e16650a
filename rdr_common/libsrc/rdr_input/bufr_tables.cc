#include "internal/bufr_tables.h"

#include <sys/stat.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <unordered_map>

#include "rdr_root.h"

#ifndef RDR_ECCODES_DEFINITIONS
#define RDR_ECCODES_DEFINITIONS "/usr/share/eccodes/definitions"
#endif

namespace {

constexpr int kElementSlots = 64 * 256;  // F = 0: X below 64, Y below 256
constexpr int kMaxNumberWidth = 32;
constexpr int kMaxTextWidth = 8 * 4096;
constexpr size_t kMaxSequenceMembers = 4096;
constexpr std::streamoff kMaxTableBytes = 16 << 20;

int elementSlot(int iFxy) {
    return bufrX(iFxy) * 256 + bufrY(iFxy);
}

bool validDescriptor(int iFxy) {
    return iFxy >= 0 && iFxy <= 363255 && bufrX(iFxy) < 64 && bufrY(iFxy) < 256;
}

bool parseInt(std::string_view text, long* pValue) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *pValue);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Six digits FXXYYY.
bool parseDescriptor(std::string_view text, int* pFxy) {
    long value = 0;
    if (text.size() != 6 || !parseInt(text, &value) || !validDescriptor(static_cast<int>(value))) {
        return false;
    }
    *pFxy = static_cast<int>(value);
    return true;
}

bool readWholeFile(const std::string& path, std::string* pText, std::string* pWhy) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *pWhy = "cannot open " + path;
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kMaxTableBytes) {
        *pWhy = path + " is not a table file of a sensible size";
        return false;
    }
    in.seekg(0);
    pText->assign(static_cast<size_t>(size), '\0');
    if (!in.read(pText->data(), size)) {
        *pWhy = "cannot read " + path;
        return false;
    }
    return true;
}

}  // namespace

struct BufrTables::Data {
    std::vector<BufrElement> elements = std::vector<BufrElement>(kElementSlots, BufrElement{});
    std::unordered_map<int, std::vector<int>> sequences;
    std::string localMissing;
};

namespace {

// code|abbreviation|type|name|unit|scale|reference|width|... ; '#' starts a comment line.
bool parseElements(const std::string& path, std::vector<BufrElement>* pElements,
                   std::string* pWhy) {
    std::string text;
    if (!readWholeFile(path, &text, pWhy)) {
        return false;
    }
    std::istringstream lines(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(lines, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#' || line == "\r") {
            continue;
        }
        std::string_view rest(line);
        std::string_view cols[8];
        int n = 0;
        while (n < 8) {
            const size_t bar = rest.find('|');
            cols[n++] = rest.substr(0, bar);
            if (bar == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(bar + 1);
        }
        const auto bad = [&](const char* szWhat) {
            *pWhy = path + ":" + std::to_string(lineNo) + ": " + szWhat;
            return false;
        };
        if (n < 8) {
            return bad("fewer than eight columns");
        }
        int iFxy = 0;
        long scale = 0, reference = 0, width = 0;
        if (!parseDescriptor(cols[0], &iFxy) || bufrF(iFxy) != 0) {
            return bad("not an element descriptor");
        }
        if (!parseInt(cols[5], &scale) || !parseInt(cols[6], &reference) ||
            !parseInt(cols[7], &width)) {
            return bad("scale, reference or width is not a number");
        }
        const bool bText = cols[2] == "string";
        const bool bWidthOk = bText ? (width > 0 && width <= kMaxTextWidth && width % 8 == 0)
                                    : (width > 0 && width <= kMaxNumberWidth);
        if (!bWidthOk || scale < -99 || scale > 99 || reference < INT32_MIN ||
            reference > INT32_MAX) {
            return bad("scale, reference or width out of range");
        }
        (*pElements)[elementSlot(iFxy)] = BufrElement{
            static_cast<int>(scale), static_cast<int>(reference), static_cast<int>(width), bText};
    }
    return true;
}

// "FXXYYY" = [ FXXYYY, FXXYYY, ... ] ; entries may span lines, '#' starts a comment line.
bool parseSequences(const std::string& path, std::unordered_map<int, std::vector<int>>* pSequences,
                    std::string* pWhy) {
    std::string text;
    if (!readWholeFile(path, &text, pWhy)) {
        return false;
    }
    // Comment lines out first, so that a '#' never hides inside an entry.
    std::string body;
    body.reserve(text.size());
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] != '#') {
            body += line;
            body += '\n';
        }
    }
    size_t pos = 0;
    while (true) {
        const size_t open = body.find('"', pos);
        if (open == std::string::npos) {
            break;
        }
        const size_t close = body.find('"', open + 1);
        const size_t lb = close == std::string::npos ? close : body.find('[', close);
        const size_t rb = lb == std::string::npos ? lb : body.find(']', lb);
        int iSeq = 0;
        if (rb == std::string::npos ||
            !parseDescriptor(std::string_view(body).substr(open + 1, close - open - 1), &iSeq) ||
            bufrF(iSeq) != 3) {
            *pWhy = path + ": malformed sequence entry near byte " + std::to_string(open);
            return false;
        }
        std::vector<int> members;
        std::string_view list = std::string_view(body).substr(lb + 1, rb - lb - 1);
        while (!list.empty()) {
            const size_t comma = list.find(',');
            std::string_view item = list.substr(0, comma);
            while (!item.empty() && (item.front() == ' ' || item.front() == '\n' ||
                                     item.front() == '\t' || item.front() == '\r')) {
                item.remove_prefix(1);
            }
            while (!item.empty() && (item.back() == ' ' || item.back() == '\n' ||
                                     item.back() == '\t' || item.back() == '\r')) {
                item.remove_suffix(1);
            }
            int iMember = 0;
            if (!parseDescriptor(item, &iMember) || members.size() >= kMaxSequenceMembers) {
                *pWhy = path + ": bad member of sequence " + std::to_string(iSeq);
                return false;
            }
            members.push_back(iMember);
            if (comma == std::string_view::npos) {
                break;
            }
            list.remove_prefix(comma + 1);
        }
        if (members.empty()) {
            *pWhy = path + ": empty sequence " + std::to_string(iSeq);
            return false;
        }
        (*pSequences)[iSeq] = std::move(members);
        pos = rb + 1;
    }
    return true;
}

bool fileStamp(const std::string& path, std::string* pStamp) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    *pStamp += path + '\n' + std::to_string(st.st_size) + ':' + std::to_string(st.st_mtim.tv_sec) +
               '.' + std::to_string(st.st_mtim.tv_nsec) + '\n';
    return true;
}

std::vector<std::string> searchDirs(const std::string& root) {
    std::vector<std::string> dirs{root};
    const char* szEnv = std::getenv("ECCODES_DEFINITION_PATH");
    std::string fallback = (szEnv != nullptr && szEnv[0] != '\0') ? szEnv : RDR_ECCODES_DEFINITIONS;
    size_t start = 0;
    while (start <= fallback.size()) {
        const size_t colon = fallback.find(':', start);
        const std::string dir = fallback.substr(start, colon - start);
        if (!dir.empty()) {
            dirs.push_back(dir);
        }
        if (colon == std::string::npos) {
            break;
        }
        start = colon + 1;
    }
    return dirs;
}

// The directory of the first search directory holding relative/element.table, or empty.
std::string findTableDir(const std::vector<std::string>& dirs, const std::string& relative) {
    for (const std::string& dir : dirs) {
        const std::string candidate = dir + "/" + relative;
        struct stat st {};
        if (stat((candidate + "/element.table").c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            return candidate;
        }
    }
    return {};
}

// Parsed tables are shared by every load of the same files while the files are unchanged.
std::mutex g_cacheMutex;
std::map<std::string, std::shared_ptr<const BufrTables::Data>> g_cache;

}  // namespace

BufrTables::BufrTables() = default;
BufrTables::~BufrTables() = default;
BufrTables::BufrTables(BufrTables&&) noexcept = default;
BufrTables& BufrTables::operator=(BufrTables&&) noexcept = default;

bool BufrTables::load(const std::string& root, int iMaster, int iCentre, int iSubcentre, int iLocal,
                      std::string* pWhy) {
    m_data.reset();
    if (iMaster < 0 || iMaster > 255 || iCentre < 0 || iCentre > 65535 || iSubcentre < 0 ||
        iSubcentre > 65535 || iLocal < 0 || iLocal > 255) {
        *pWhy = "table versions or centre out of range";
        return false;
    }
    const std::vector<std::string> dirs = searchDirs(root);
    const std::string masterRel = "bufr/tables/0/wmo/" + std::to_string(iMaster);
    const std::string masterDir = findTableDir(dirs, masterRel);
    if (masterDir.empty()) {
        *pWhy = "no master table " + root + "/" + masterRel + "/element.table";
        return false;
    }
    const std::string localRel = "bufr/tables/0/local/" + std::to_string(iLocal) + "/" +
                                 std::to_string(iCentre) + "/" + std::to_string(iSubcentre);
    const std::string localDir = iLocal == 0 ? std::string() : findTableDir(dirs, localRel);
    std::vector<std::string> files{masterDir + "/element.table", masterDir + "/sequence.def"};
    if (!localDir.empty()) {
        files.push_back(localDir + "/element.table");
        files.push_back(localDir + "/sequence.def");  // optional
    }
    // The key names the files with their sizes and times, and the local table looked for.
    std::string key = localDir.empty() && iLocal != 0 ? "no " + localRel + "\n" : "";
    for (size_t i = 0; i < files.size(); ++i) {
        if (!fileStamp(files[i], &key) && i != 3) {
            *pWhy = "cannot read " + files[i];
            return false;
        }
    }
    {
        std::lock_guard<std::mutex> lock(g_cacheMutex);
        const auto found = g_cache.find(key);
        if (found != g_cache.end()) {
            m_data = found->second;
            return true;
        }
    }
    auto data = std::make_shared<Data>();
    if (!parseElements(files[0], &data->elements, pWhy) ||
        !parseSequences(files[1], &data->sequences, pWhy)) {
        return false;
    }
    if (!localDir.empty()) {
        // Local entries come after the master's and win where both define a descriptor.
        if (!parseElements(files[2], &data->elements, pWhy)) {
            return false;
        }
        struct stat st {};
        if (stat(files[3].c_str(), &st) == 0 && !parseSequences(files[3], &data->sequences, pWhy)) {
            return false;
        }
    } else if (iLocal != 0) {
        data->localMissing = root + "/" + localRel + "/element.table";
    }
    {
        std::lock_guard<std::mutex> lock(g_cacheMutex);
        if (g_cache.size() >= 64) {
            g_cache.clear();
        }
        g_cache[key] = data;
    }
    m_data = std::move(data);
    return true;
}

const BufrElement* BufrTables::element(int iFxy) const {
    if (!m_data || !validDescriptor(iFxy) || bufrF(iFxy) != 0) {
        return nullptr;
    }
    const BufrElement& e = m_data->elements[elementSlot(iFxy)];
    return e.iWidth > 0 ? &e : nullptr;
}

const std::vector<int>* BufrTables::sequence(int iFxy) const {
    if (!m_data) {
        return nullptr;
    }
    const auto found = m_data->sequences.find(iFxy);
    return found == m_data->sequences.end() ? nullptr : &found->second;
}

const std::string& BufrTables::localTableMissing() const {
    static const std::string none;
    return m_data ? m_data->localMissing : none;
}

std::string bufrTableRoot() {
    return rdrRootPath(std::string("/rdr/www/cgi-src")) + "/resource/bufr_table";
}
