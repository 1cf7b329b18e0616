#pragma once

#include <QByteArray>

#include <memory>

// A keystream that the bytes of a quarantined item are combined with (XOR),
// so that the kept copy of a threat is never the threat itself: no other
// scanner finds it, and nothing can start it, open it or run it by a
// double-click.  The same object turns plain bytes into kept bytes and back,
// in pieces of any size, as long as the pieces go through in order.
//
// AES-256 in counter mode (OpenSSL): the keystream does not repeat, so no
// run of equal bytes in the original (the zeros of an executable's header)
// shows a repeating key in the kept copy, and the kept copy has the size of
// the original.  Each item has a key of its own, so the counter always
// starts at zero.  Secrecy is not the aim: the key is kept beside the item.
class StreamCipher
{
public:
    static constexpr int kKeyBytes = 32;

    // A cipher for key (kKeyBytes bytes); not isValid() for another length
    // or when the library fails.
    explicit StreamCipher(const QByteArray &key);
    ~StreamCipher();
    StreamCipher(const StreamCipher &) = delete;
    StreamCipher &operator=(const StreamCipher &) = delete;

    bool isValid() const { return m_context != nullptr; }
    // Combines the next size bytes of the keystream with data, in place.
    // False when the library fails (data is then not to be used).
    bool apply(char *data, qint64 size);

    // kKeyBytes bytes from the system's random source.
    static QByteArray newKey();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
