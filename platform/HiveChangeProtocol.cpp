#include "platform/HiveChangeProtocol.h"

namespace HiveChangeProtocol {

namespace {

void putNumber(std::string &out, std::uint64_t number, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(char((number >> (8 * i)) & 0xFF));
}

void putText(std::string &out, const std::string &text)
{
    putNumber(out, text.size(), 4);
    out += text;
}

// Reads the body front to back; every read fails once the body is short.
class Reader
{
public:
    explicit Reader(const std::string &body) : m_body(body) {}

    std::optional<std::uint64_t> number(int bytes)
    {
        if (m_body.size() - m_at < size_t(bytes))
            return std::nullopt;
        std::uint64_t n = 0;
        for (int i = 0; i < bytes; ++i)
            n |= std::uint64_t(static_cast<unsigned char>(m_body[m_at + i])) << (8 * i);
        m_at += size_t(bytes);
        return n;
    }

    std::optional<std::string> text()
    {
        const std::optional<std::uint64_t> size = number(4);
        if (!size || m_body.size() - m_at < *size)
            return std::nullopt;
        std::string t = m_body.substr(m_at, size_t(*size));
        m_at += size_t(*size);
        return t;
    }

    bool atEnd() const { return m_at == m_body.size(); }

private:
    const std::string &m_body;
    size_t m_at = 0;
};

void putValues(std::string &body, const std::vector<Value> &values)
{
    putNumber(body, values.size(), 4);
    for (const Value &v : values) {
        putText(body, v.name);
        putNumber(body, std::uint32_t(v.type), 4);
        putText(body, v.data);
    }
}

std::optional<std::vector<Value>> readValues(Reader &in)
{
    const std::optional<std::uint64_t> count = in.number(4);
    if (!count)
        return std::nullopt;
    std::vector<Value> values;
    for (std::uint64_t i = 0; i < *count; ++i) {
        std::optional<std::string> name = in.text();
        const std::optional<std::uint64_t> type = in.number(4);
        std::optional<std::string> data = type ? in.text() : std::nullopt;
        if (!name || !data)
            return std::nullopt;
        values.push_back({std::move(*name), std::int32_t(std::uint32_t(*type)), std::move(*data)});
    }
    return values;
}

} // namespace

std::string encode(const Request &request)
{
    std::string body;
    putNumber(body, std::uint8_t(request.operation), 1);
    putNumber(body, request.node, 8);
    putValues(body, request.values);
    putNumber(body, request.keys.size(), 4);
    for (const NewKey &key : request.keys) {
        putNumber(body, std::uint32_t(key.parent), 4);
        putText(body, key.name);
        putValues(body, key.values);
    }
    std::string framed;
    putNumber(framed, body.size(), 4);
    return framed + body;
}

std::optional<Request> decode(const std::string &body)
{
    Reader in(body);
    const std::optional<std::uint64_t> operation = in.number(1);
    const std::optional<std::uint64_t> node = in.number(8);
    if (!operation || !node || *operation < 1 || *operation > 4)
        return std::nullopt;
    Request request;
    request.operation = Operation(*operation);
    request.node = *node;
    std::optional<std::vector<Value>> values = readValues(in);
    const std::optional<std::uint64_t> keys = values ? in.number(4) : std::nullopt;
    if (!keys)
        return std::nullopt;
    request.values = std::move(*values);
    for (std::uint64_t i = 0; i < *keys; ++i) {
        const std::optional<std::uint64_t> parent = in.number(4);
        std::optional<std::string> name = parent ? in.text() : std::nullopt;
        std::optional<std::vector<Value>> keyValues = name ? readValues(in) : std::nullopt;
        // A key's parent is the request's key or a key made before it.
        const std::int32_t parentIndex = parent ? std::int32_t(std::uint32_t(*parent)) : -2;
        if (!keyValues || parentIndex < -1 || parentIndex >= std::int32_t(i))
            return std::nullopt;
        request.keys.push_back({parentIndex, std::move(*name), std::move(*keyValues)});
    }
    if (!in.atEnd())
        return std::nullopt;
    return request;
}

std::uint32_t lengthOf(const unsigned char header[4])
{
    return std::uint32_t(header[0]) | (std::uint32_t(header[1]) << 8) |
           (std::uint32_t(header[2]) << 16) | (std::uint32_t(header[3]) << 24);
}

} // namespace HiveChangeProtocol
