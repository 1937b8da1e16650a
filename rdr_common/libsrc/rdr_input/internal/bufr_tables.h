// BUFR descriptor tables (table B elements, table D sequences) read at run time from the
// table tree under the resource root, laid out as ecCodes lays out its own:
//   bufr/tables/0/wmo/<master version>/{element.table,sequence.def}
//   bufr/tables/0/local/<local version>/<centre>/<subcentre>/{element.table,sequence.def}
// so that ecCodes' tools decode with the same files. A WMO master version that the tree
// does not ship is taken from ecCodes' own definitions (ECCODES_DEFINITION_PATH when set,
// else the directory the library was built with).
#ifndef RDR_BUFR_TABLES_H
#define RDR_BUFR_TABLES_H

#include <memory>
#include <string>
#include <vector>

struct BufrElement {
    int iScale;
    int iReference;
    int iWidth;  // bits; 0 marks an absent entry
    bool bText;  // CCITT IA5: iWidth / 8 characters
};

class BufrTables {
  public:
    BufrTables();
    ~BufrTables();
    BufrTables(BufrTables&&) noexcept;
    BufrTables& operator=(BufrTables&&) noexcept;

    // The master table of iMaster plus the local table (iCentre, iSubcentre, iLocal) from
    // the table tree under root (the bufr_table directory); false with *pWhy naming the
    // file. A local version of 0, or a local table the tree lacks, adds no entries: a
    // message that uses a local descriptor then fails in the decoder, which names the
    // missing file (localTableMissing).
    bool load(const std::string& root, int iMaster, int iCentre, int iSubcentre, int iLocal,
              std::string* pWhy);

    // iFxy = F*100000 + X*1000 + Y. Null when the tables do not hold it.
    const BufrElement* element(int iFxy) const;
    const std::vector<int>* sequence(int iFxy) const;

    // The local table file that load looked for and did not find; empty when none.
    const std::string& localTableMissing() const;

    struct Data;  // the parsed files, shared between loads of the same files

  private:
    std::shared_ptr<const Data> m_data;
};

// The table tree of this installation: "<RDR_ROOT>/rdr/www/cgi-src/resource/bufr_table".
std::string bufrTableRoot();

// Descriptor parts of iFxy.
inline int bufrF(int iFxy) {
    return iFxy / 100000;
}
inline int bufrX(int iFxy) {
    return (iFxy / 1000) % 100;
}
inline int bufrY(int iFxy) {
    return iFxy % 1000;
}

#endif
