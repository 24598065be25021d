#include "session.h"

#include <utility>

namespace bridge {

namespace {

// The largest integer a page's script holds exactly (2^53 - 1).
const long long kMaxSafeInteger = 9007199254740991LL;

// Requests have a few values; anything much larger is refused while parsing.
json::Limits RequestLimits()
{
    json::Limits limits;
    limits.maxBytes = kMaxMessageBytes;
    limits.maxDepth = 8;
    limits.maxValues = 256;
    return limits;
}

std::string ResultReply(const json::Value& id, json::Value result)
{
    json::Value reply = json::Value::Object();
    reply.Set("id", id);
    reply.Set("result", std::move(result));
    return json::Write(reply);
}

const char* TypeName(ParamType t)
{
    switch (t) {
    case ParamType::Text: return "a string";
    case ParamType::Long: return "an integer from -2147483648 to 2147483647";
    case ParamType::Short: return "an integer from -32768 to 32767";
    }
    return "?";
}

bool Convert(const json::Value& v, ParamType type, Argument* arg)
{
    arg->type = type;
    if (type == ParamType::Text) {
        if (!v.Is(json::Type::String))
            return false;
        arg->text = v.Text();
        return true;
    }
    long long n;
    if (!v.AsInteger(&n))
        return false;
    const long long lo = type == ParamType::Long ? -2147483648LL : -32768;
    const long long hi = type == ParamType::Long ? 2147483647LL : 32767;
    if (n < lo || n > hi)
        return false;
    arg->number = static_cast<long>(n);
    return true;
}

}  // namespace

std::string ErrorReply(const json::Value& id, int code, const std::string& message)
{
    json::Value error = json::Value::Object();
    error.Set("code", json::Value::Integer(code));
    error.Set("message", json::Value::String(message));
    json::Value reply = json::Value::Object();
    reply.Set("id", id);
    reply.Set("error", std::move(error));
    return json::Write(reply);
}

std::string Session::Handle(const std::string& message)
{
    const json::Value noId;
    json::Value request;
    json::ParseError parseError;
    if (!json::Parse(message.data(), message.size(), &request, &parseError, RequestLimits()))
        return ErrorReply(noId, kParseError,
                          "malformed message at byte " + std::to_string(parseError.offset) + ": " +
                              parseError.message);
    if (!request.Is(json::Type::Object))
        return ErrorReply(noId, kInvalidRequest, "a request is a JSON object");

    const json::Value* idValue = request.Find("id");
    long long idNumber;
    if (!idValue || !idValue->AsInteger(&idNumber) || idNumber < -kMaxSafeInteger || idNumber > kMaxSafeInteger)
        return ErrorReply(noId, kInvalidRequest, "\"id\" must be an integer from -(2^53-1) to 2^53-1");
    const json::Value id = json::Value::Integer(idNumber);

    const json::Value* origin = request.Find("origin");
    if (!origin || !origin->Is(json::Type::String))
        return ErrorReply(id, kInvalidRequest, "\"origin\" must be a string");
    const json::Value* method = request.Find("method");
    if (!method || !method->Is(json::Type::String))
        return ErrorReply(id, kInvalidRequest, "\"method\" must be a string");
    const json::Value* args = request.Find("args");
    if (args && !args->Is(json::Type::Array))
        return ErrorReply(id, kInvalidRequest, "\"args\" must be an array");

    // Nothing of the control runs for an origin that is not allowed.
    if (!m_policy.Allows(origin->Text()))
        return ErrorReply(id, kOriginRefused,
                          "the origin \"" + origin->Text() + "\" may not use QelCrypt (it is not on the host's "
                                                             "allow-list)");

    MethodInfo info;
    std::string why;
    switch (m_target.Find(method->Text(), &info, &why)) {
    case Target::Lookup::Found: break;
    case Target::Lookup::NotFound:
        return ErrorReply(id, kMethodNotFound, "QelCrypt has no method \"" + method->Text() + "\"");
    case Target::Lookup::Unavailable:
        return ErrorReply(id, kControlUnavailable, why);
    }

    const size_t given = args ? args->Items().size() : 0;
    if (given != info.params.size())
        return ErrorReply(id, kInvalidArguments,
                          info.name + " takes " + std::to_string(info.params.size()) + " argument" +
                              (info.params.size() == 1 ? "" : "s") + ", got " + std::to_string(given));
    std::vector<Argument> converted(given);
    for (size_t i = 0; i < given; ++i)
        if (!Convert(args->Items()[i], info.params[i], &converted[i]))
            return ErrorReply(id, kInvalidArguments,
                              "argument " + std::to_string(i + 1) + " of " + info.name + " must be " +
                                  TypeName(info.params[i]));

    json::Value result;
    if (!m_target.Call(info, converted, &result, &why))
        return ErrorReply(id, kControlFailed, info.name + " failed: " + why);
    std::string reply = ResultReply(id, std::move(result));
    if (reply.size() > kMaxReplyBytes)
        return ErrorReply(id, kResultTooLarge,
                          "the result of " + info.name + " needs a reply of " + std::to_string(reply.size()) +
                              " bytes, more than a message may hold (" + std::to_string(kMaxReplyBytes) + ")");
    return reply;
}

std::string Frame(const std::string& message)
{
    const size_t n = message.size();
    std::string out;
    out.reserve(n + 4);
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((n >> (8 * i)) & 0xFF);
    out += message;
    return out;
}

namespace {

// Reads exactly `size` bytes unless the input ends; returns how many came.
size_t ReadFull(ByteSource& in, char* buffer, size_t size)
{
    size_t got = 0;
    while (got < size) {
        const size_t n = in.Read(buffer + got, size - got);
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

}  // namespace

int Serve(ByteSource& in, ByteSink& out, Session& session, std::string* diagnostics)
{
    std::string message;
    for (;;) {
        unsigned char prefix[4];
        const size_t got = ReadFull(in, reinterpret_cast<char*>(prefix), 4);
        if (got == 0)
            return kExitClosed;
        if (got < 4) {
            if (diagnostics)
                *diagnostics = "input ended inside a length prefix (" + std::to_string(got) + " of 4 bytes)";
            return kExitTruncated;
        }
        const unsigned long length = prefix[0] | (prefix[1] << 8) | (prefix[2] << 16) |
                                     (static_cast<unsigned long>(prefix[3]) << 24);
        if (length > kMaxMessageBytes) {
            const std::string why = "message of " + std::to_string(length) + " bytes, more than the " +
                                    std::to_string(kMaxMessageBytes) + " a message may hold";
            const std::string reply = Frame(ErrorReply(json::Value(), kMessageTooLarge, why));
            out.Write(reply.data(), reply.size());
            if (diagnostics)
                *diagnostics = why;
            return kExitTooLarge;
        }
        message.resize(length);
        const size_t body = length ? ReadFull(in, &message[0], length) : 0;
        if (body < length) {
            if (diagnostics)
                *diagnostics = "input ended inside a message (" + std::to_string(body) + " of " +
                               std::to_string(length) + " bytes)";
            return kExitTruncated;
        }
        const std::string reply = Frame(session.Handle(message));
        if (!out.Write(reply.data(), reply.size())) {
            if (diagnostics)
                *diagnostics = "the reply could not be written";
            return kExitOutputClosed;
        }
    }
}

}  // namespace bridge
