// Fuzzes the native-messaging host's message loop with a stand-in control:
// whatever the browser side sends (lengths, JSON, origins, arguments), the
// loop ends, every reply is one framed JSON object of at most the reply
// limit with an "id" and either "result" or "error", and every call that
// reaches the control has arguments of the method's types.
#include "json.h"
#include "session.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class CSource : public bridge::ByteSource {
public:
    CSource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    size_t Read(void* buffer, size_t size) override
    {
        // Short reads, as pipes give them.
        size_t n = m_size - m_pos < size ? m_size - m_pos : size;
        if (n > 7) n = n / 2 + 1;
        std::memcpy(buffer, m_data + m_pos, n);
        m_pos += n;
        return n;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

class CSink : public bridge::ByteSink {
public:
    bool Write(const void* data, size_t size) override
    {
        m_out.append(static_cast<const char*>(data), size);
        return true;
    }
    std::string m_out;
};

class CTarget : public bridge::Target {
public:
    Lookup Find(const std::string& name, bridge::MethodInfo* method, std::string*) override
    {
        using P = bridge::ParamType;
        if (name == "A") method->params = {};
        else if (name == "B") method->params = {P::Text, P::Long};
        else if (name == "C") method->params = {P::Short, P::Text, P::Text};
        else return Lookup::NotFound;
        method->name = name;
        return Lookup::Found;
    }
    bool Call(const bridge::MethodInfo& method, const std::vector<bridge::Argument>& args, bridge::json::Value* result,
              std::string* why) override
    {
        if (args.size() != method.params.size()) std::abort();
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i].type != method.params[i]) std::abort();
            if (args[i].type == bridge::ParamType::Short && (args[i].number < -32768 || args[i].number > 32767))
                std::abort();
        }
        if (method.name == "C" && args[0].number == 1) {
            *why = "failed";
            return false;
        }
        *result = args.empty() ? bridge::json::Value() : bridge::json::Value::String(args[0].text);
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    bridge::OriginPolicy policy;
    policy.Add("https://a.example");
    CTarget target;
    bridge::Session session(target, policy);
    CSource in(data, size);
    CSink out;
    const int rc = bridge::Serve(in, out, session);
    if (rc != bridge::kExitClosed && rc != bridge::kExitTruncated && rc != bridge::kExitTooLarge) std::abort();

    size_t pos = 0;
    while (pos < out.m_out.size()) {
        if (out.m_out.size() - pos < 4) std::abort();
        const unsigned char* p = reinterpret_cast<const unsigned char*>(out.m_out.data() + pos);
        const size_t n = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<size_t>(p[3]) << 24);
        if (n > bridge::kMaxReplyBytes || out.m_out.size() - pos - 4 < n) std::abort();
        bridge::json::Value reply;
        if (!bridge::json::Parse(out.m_out.data() + pos + 4, n, &reply, nullptr)) std::abort();
        if (!reply.Is(bridge::json::Type::Object) || !reply.Find("id")) std::abort();
        if (!reply.Find("result") == !reply.Find("error")) std::abort();
        pos += 4 + n;
    }
    return 0;
}
