#include "scanner/EdgeTable.h"

qint32 EdgeTable::findOrAdd(qint32 node, char16_t c, qint32 child, bool *added)
{
    if ((m_used + 1) * 2 > m_slots.size())
        grow();
    const quint64 key = keyOf(node, c);
    for (size_t i = spread(key) & m_mask;; i = (i + 1) & m_mask) {
        Slot &s = m_slots[i];
        if (s.key == key) {
            *added = false;
            return s.child;
        }
        if (s.key == kEmpty) {
            s = {key, child};
            ++m_used;
            *added = true;
            return child;
        }
    }
}

void EdgeTable::grow()
{
    std::vector<Slot> old;
    old.swap(m_slots);
    m_slots.assign(old.empty() ? 64 : old.size() * 2, Slot{kEmpty, -1});
    m_mask = m_slots.size() - 1;
    for (const Slot &s : old) {
        if (s.key == kEmpty)
            continue;
        size_t i = spread(s.key) & m_mask;
        while (m_slots[i].key != kEmpty)
            i = (i + 1) & m_mask;
        m_slots[i] = s;
    }
}
