#pragma once

#include <QtGlobal>

#include <vector>

// The edges of a character tree: (node, character) -> child node, in one flat
// open-addressed table, so that following an edge costs one memory access
// where a node-based map costs several.  The name check follows one or two
// edges per path character, for every file of a scan.
class EdgeTable
{
public:
    // The child of node on c, or -1.
    qint32 find(qint32 node, char16_t c) const
    {
        if (m_slots.empty())
            return -1;
        const quint64 key = keyOf(node, c);
        for (size_t i = spread(key) & m_mask;; i = (i + 1) & m_mask) {
            const Slot &s = m_slots[i];
            if (s.key == key)
                return s.child;
            if (s.key == kEmpty)
                return -1;
        }
    }

    // The child of node on c; when there is none, child becomes it and
    // added is set.
    qint32 findOrAdd(qint32 node, char16_t c, qint32 child, bool *added);

private:
    struct Slot {
        quint64 key;
        qint32 child;
    };
    static constexpr quint64 kEmpty = ~quint64(0);

    static quint64 keyOf(qint32 node, char16_t c) { return (quint64(quint32(node)) << 16) | c; }
    static size_t spread(quint64 k)
    {
        k ^= k >> 33;
        k *= 0xff51afd7ed558ccdULL;
        k ^= k >> 33;
        return size_t(k);
    }
    void grow();

    std::vector<Slot> m_slots;
    size_t m_mask = 0;
    size_t m_used = 0;
};
