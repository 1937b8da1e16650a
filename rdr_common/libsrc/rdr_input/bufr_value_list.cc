#include "internal/bufr_value_list.h"

void BufrValueList::openGroup(int iFxy) {
    m_groups.push_back(Group{iFxy, m_values.size(), m_values.size()});
}

bool BufrValueList::number(int iFxy, double dValue, bool bMissing) {
    if (m_depth == 0) {
        openGroup(iFxy);
    }
    m_values.push_back(BufrValue{BufrValue::Kind::kNumber, bMissing, iFxy, dValue, 0, 0});
    m_groups.back().end = m_values.size();
    return true;
}

bool BufrValueList::text(int iFxy, std::string_view text) {
    if (m_depth == 0) {
        openGroup(iFxy);
    }
    m_values.push_back(
        BufrValue{BufrValue::Kind::kText, false, iFxy, 0.0, m_chars.size(), text.size()});
    m_chars.append(text);
    m_groups.back().end = m_values.size();
    return true;
}

bool BufrValueList::bytes(int iFxy, const unsigned char* p, size_t n) {
    if (m_depth == 0) {
        openGroup(iFxy);
    }
    m_values.push_back(BufrValue{BufrValue::Kind::kBytes, false, iFxy, 0.0, m_bytes.size(), n});
    m_bytes.insert(m_bytes.end(), p, p + n);
    m_groups.back().end = m_values.size();
    return true;
}

bool BufrValueList::enter(int iFxy) {
    if (m_depth++ == 0) {
        openGroup(iFxy);
    }
    return true;
}

bool BufrValueList::leave(int) {
    --m_depth;
    return true;
}
