#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the program and the hive helper (torvakine-hive-helper) say to each
// other over the helper's standard input, a stream socket.  The helper is
// started with the hive open read-only as its descriptor 3; it answers one
// status byte once it has read the hive, and one after every request.  The
// written hive goes into a file whose descriptor travels with the commit
// request.  Plain C++, so that the helper needs nothing but hivex.
namespace HiveChangeProtocol {

// The descriptor the hive is given to the helper as.
constexpr int kHiveDescriptor = 3;

// Status bytes.
constexpr std::uint8_t kDone = 0;
constexpr std::uint8_t kRefused = 1;

enum class Operation : std::uint8_t {
    // The key's values become exactly the values given.
    SetValues = 1,
    // The key goes, with everything below it.
    DeleteKey = 2,
    // The hive as it now stands is written into the file sent along.
    Commit = 3,
    // New keys are made below the key, in the order given, each with its
    // values (a key put back from the quarantine, with everything below it).
    AddKeys = 4,
};

struct Value {
    std::string name;
    std::int32_t type = 0;
    std::string data;
};

// A key to make: below the request's key (parent -1) or below the key made
// by the keys entry parent of the same request, which comes before it.
struct NewKey {
    std::int32_t parent = -1;
    std::string name;
    std::vector<Value> values;
};

struct Request {
    Operation operation = Operation::Commit;
    std::uint64_t node = 0;
    std::vector<Value> values;
    std::vector<NewKey> keys;
};

// Requests larger than this are refused on both sides.
constexpr std::uint32_t kLargestRequest = 256u << 20;

// A request as sent: its length (4 bytes, little-endian) and its body.
std::string encode(const Request &request);
// The request in a body (without the length); none when it is malformed.
std::optional<Request> decode(const std::string &body);
// The length at the start of a sent request.
std::uint32_t lengthOf(const unsigned char header[4]);

} // namespace HiveChangeProtocol
