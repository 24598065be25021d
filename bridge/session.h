// The native-messaging host's protocol, independent of COM (portable code):
// the framing of the browser's native messaging (a 4-byte little-endian
// length, then that many bytes of UTF-8 JSON), the requests
//   {"id": 7, "origin": "https://bank.example", "method": "Sign", "args": ["text", "cn", "ou"]}
// and the replies
//   {"id": 7, "result": "..."}   or   {"id": 7, "error": {"code": -32602, "message": "..."}}
//
// A Session checks a request completely (JSON, members, origin, method,
// argument count and types) before it calls its Target, which is the
// control in the host program and a stand-in in the tests.
#ifndef QEL_BRIDGE_SESSION_H
#define QEL_BRIDGE_SESSION_H

#include "json.h"
#include "origin.h"

#include <cstddef>
#include <string>
#include <vector>

namespace bridge {

// Longest message the host reads, and the longest it sends (the browser's
// own limit for messages from a host).
const size_t kMaxMessageBytes = 1024 * 1024;
const size_t kMaxReplyBytes = 1024 * 1024;

// Error codes of the replies.
enum ErrorCode {
    kParseError = -32700,          // not JSON, or not UTF-8
    kInvalidRequest = -32600,      // not an object with id, origin, method (and args)
    kMethodNotFound = -32601,
    kInvalidArguments = -32602,    // wrong count or type
    kControlFailed = -32603,       // the control's Invoke failed
    kOriginRefused = -32000,
    kMessageTooLarge = -32001,     // the host exits after this reply
    kResultTooLarge = -32002,
    kControlUnavailable = -32003,  // the control cannot be created (not installed)
};

// Exit codes of the host's loop.
enum ExitCode {
    kExitClosed = 0,        // end of input between messages: the browser closed the port
    kExitTruncated = 2,     // end of input inside a length or a message
    kExitTooLarge = 3,      // a length above kMaxMessageBytes: the stream cannot be followed
    kExitOutputClosed = 4,  // a reply could not be written
    kExitStartFailed = 5,   // the host could not set up its input, output or COM
};

enum class ParamType { Text, Long, Short };

// A method as the target describes it: its name as the control spells it
// and its parameters.
struct MethodInfo {
    std::string name;
    std::vector<ParamType> params;
    long id = 0;  // the target's own identification (the DISPID)
};

// One checked argument: UTF-8 text for Text, a number within the type's
// range for Long and Short.
struct Argument {
    ParamType type = ParamType::Text;
    std::string text;
    long number = 0;
};

class Target {
public:
    enum class Lookup { Found, NotFound, Unavailable };

    virtual ~Target() = default;
    // Finds a method by name; Unavailable (with *why) when there is no control.
    virtual Lookup Find(const std::string& name, MethodInfo* method, std::string* why) = 0;
    // Calls a method Find gave with arguments of its types. The result is
    // a JSON string, number or null; false (with *why) when the call failed.
    virtual bool Call(const MethodInfo& method, const std::vector<Argument>& args, json::Value* result,
                      std::string* why) = 0;
};

class Session {
public:
    Session(Target& target, const OriginPolicy& policy) : m_target(target), m_policy(policy) {}

    // One message in, one reply out (JSON text, at most kMaxReplyBytes).
    std::string Handle(const std::string& message);

private:
    Target& m_target;
    const OriginPolicy& m_policy;
};

// The reply for an error; `id` is the request's, or null.
std::string ErrorReply(const json::Value& id, int code, const std::string& message);

// A message with its length prefix.
std::string Frame(const std::string& message);

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `size` bytes; 0 at the end of input or on failure.
    virtual size_t Read(void* buffer, size_t size) = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const void* data, size_t size) = 0;  // all of it, or false
};

// Reads messages from `in` and writes a reply to `out` for each until the
// input ends; returns an ExitCode. `diagnostics`, when given, receives one
// line on why the loop ended other than by kExitClosed.
int Serve(ByteSource& in, ByteSink& out, Session& session, std::string* diagnostics = nullptr);

}  // namespace bridge

#endif
