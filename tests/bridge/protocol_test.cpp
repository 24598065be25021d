// The host's protocol without COM: which origins it serves, and what a
// request must hold before anything of the control runs (a stand-in target
// that counts its calls).
#include "json.h"
#include "origin.h"
#include "session.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using bridge::ParamType;

TEST(Origin, ListedOriginsExactlyAndLocalDevelopmentServers)
{
    bridge::OriginPolicy policy;
    for (const char* entry : {"https://bank.example", "http://intranet.corp:8080/", "HTTPS://Mixed.Example:443",
                              "https://[2001:db8::1]:8443"})
        ASSERT_TRUE(policy.Add(entry)) << entry;
    for (const char* entry : {"bank.example", "https://*.example", "https://a.example/path", "ftp://a.example",
                              "https://user@a.example", "https://a.example:0", "https://a.example:65536",
                              "https://a..example", "https://", "null", ""})
        EXPECT_FALSE(policy.Add(entry)) << entry;
    EXPECT_EQ(4u, policy.Entries().size());

    const struct {
        const char* origin;
        bool allowed;
    } cases[] = {
        {"https://bank.example", true},
        {"https://bank.example:443", true},        // the default port is no port
        {"https://BANK.example", true},
        {"http://bank.example", false},            // another scheme
        {"https://bank.example:8443", false},      // another port
        {"https://www.bank.example", false},
        {"https://bank.example.evil.test", false},
        {"https://evil.test/https://bank.example", false},
        {"https://bank.example/", false},          // browsers send no path
        {"https://bank.example@evil.test", false},
        {"http://intranet.corp:8080", true},
        {"http://intranet.corp", false},
        {"https://mixed.example", true},
        {"https://[2001:db8::1]:8443", true},
        {"http://127.0.0.1", true},                // any port of the local development hosts
        {"http://127.0.0.1:5500", true},
        {"http://localhost:3000", true},
        {"http://LOCALHOST:65535", true},
        {"https://localhost", false},
        {"http://127.0.0.1.evil.test", false},
        {"http://localhost.evil.test:80", false},
        {"http://localhost:", false},
        {"http://localhost:99999", false},
        {"http://localhost:080", false},
        {"http://localhost:80/x", false},
        {"http://127.0.0.2", false},
        {"null", false},
        {"", false},
        {"file://", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.allowed, policy.Allows(c.origin)) << c.origin;
}

// A stand-in for the control: a few methods of each parameter type.
class CFakeTarget : public bridge::Target {
public:
    Lookup Find(const std::string& name, bridge::MethodInfo* method, std::string* why) override
    {
        if (unavailable) {
            *why = "not installed";
            return Lookup::Unavailable;
        }
        const struct {
            const char* name;
            std::vector<ParamType> params;
        } methods[] = {
            {"GetVersion", {}},
            {"Sign", {ParamType::Text, ParamType::Text, ParamType::Text}},
            {"SetSignType", {ParamType::Long}},
            {"TakeShort", {ParamType::Short}},
            {"Fail", {}},
            {"Huge", {}},
        };
        for (const auto& m : methods)
            if (name == m.name) {
                method->name = m.name;
                method->params = m.params;
                return Lookup::Found;
            }
        return Lookup::NotFound;
    }
    bool Call(const bridge::MethodInfo& method, const std::vector<bridge::Argument>& args,
              bridge::json::Value* result, std::string* why) override
    {
        ++calls;
        if (method.name == "Fail") {
            *why = "refused";
            return false;
        }
        if (method.name == "Huge")
            *result = bridge::json::Value::String(std::string(bridge::kMaxReplyBytes, 'x'));
        else if (method.name == "GetVersion")
            *result = bridge::json::Value::Integer(1010);
        else if (method.name == "Sign")
            *result = bridge::json::Value::String(args[0].text + "|" + args[1].text + "|" + args[2].text);
        else
            *result = bridge::json::Value::Integer(args[0].number);
        return true;
    }

    bool unavailable = false;
    int calls = 0;
};

// What a reply says: its id, and its result or its error code.
struct Reply {
    std::string id, result;
    long long code = 0;
};

Reply Read(const std::string& text)
{
    bridge::json::Value v;
    EXPECT_TRUE(bridge::json::Parse(text.data(), text.size(), &v, nullptr)) << text;
    Reply r;
    if (const bridge::json::Value* id = v.Find("id"))
        r.id = bridge::json::Write(*id);
    if (const bridge::json::Value* result = v.Find("result"))
        r.result = bridge::json::Write(*result);
    if (const bridge::json::Value* error = v.Find("error")) {
        EXPECT_TRUE(error->Find("message") && error->Find("message")->Is(bridge::json::Type::String)) << text;
        EXPECT_TRUE(error->Find("code") && error->Find("code")->AsInteger(&r.code)) << text;
    }
    return r;
}

std::string Request(const std::string& method, const std::string& args, const char* origin = "http://localhost:1")
{
    return "{\"id\":7,\"origin\":\"" + std::string(origin) + "\",\"method\":\"" + method + "\",\"args\":" + args + "}";
}

TEST(Session, ChecksEveryRequestBeforeTheControlRuns)
{
    const struct {
        std::string message;
        const char* id;
        const char* result;  // null: an error
        int code;
    } cases[] = {
        {Request("GetVersion", "[]"), "7", "1010", 0},
        {"{\"method\":\"GetVersion\",\"origin\":\"https://bank.example\",\"id\":-9007199254740991}",
         "-9007199254740991", "1010", 0},  // any order, args left out
        {Request("Sign", "[\"\xE4\xB8\xAD\",\"\",\"\\u0000\"]"), "7", "\"\xE4\xB8\xAD||\\u0000\"", 0},
        {Request("SetSignType", "[-2147483648]"), "7", "-2147483648", 0},
        {Request("SetSignType", "[2147483647]"), "7", "2147483647", 0},
        {Request("TakeShort", "[-32768]"), "7", "-32768", 0},
        // Who may call.
        {Request("GetVersion", "[]", "https://evil.test"), "7", nullptr, bridge::kOriginRefused},
        {Request("NoSuchMethod", "[1]", "https://evil.test"), "7", nullptr, bridge::kOriginRefused},
        {Request("GetVersion", "[]", "null"), "7", nullptr, bridge::kOriginRefused},
        // A second "origin" member cannot override the first.
        {"{\"id\":7,\"origin\":\"https://evil.test\",\"origin\":\"http://localhost\",\"method\":\"GetVersion\"}",
         "null", nullptr, bridge::kParseError},
        // Malformed requests.
        {"{\"id\":7,", "null", nullptr, bridge::kParseError},
        {"", "null", nullptr, bridge::kParseError},
        {"\"\xC0\xAF\"", "null", nullptr, bridge::kParseError},
        {"[]", "null", nullptr, bridge::kInvalidRequest},
        {"{\"origin\":\"http://localhost\",\"method\":\"GetVersion\"}", "null", nullptr, bridge::kInvalidRequest},
        {"{\"id\":\"7\",\"origin\":\"http://localhost\",\"method\":\"GetVersion\"}", "null", nullptr,
         bridge::kInvalidRequest},
        {"{\"id\":1.5,\"origin\":\"http://localhost\",\"method\":\"GetVersion\"}", "null", nullptr,
         bridge::kInvalidRequest},
        {"{\"id\":9007199254740992,\"origin\":\"http://localhost\",\"method\":\"GetVersion\"}", "null", nullptr,
         bridge::kInvalidRequest},
        {"{\"id\":7,\"method\":\"GetVersion\"}", "7", nullptr, bridge::kInvalidRequest},
        {"{\"id\":7,\"origin\":1,\"method\":\"GetVersion\"}", "7", nullptr, bridge::kInvalidRequest},
        {"{\"id\":7,\"origin\":\"http://localhost\",\"method\":[\"GetVersion\"]}", "7", nullptr,
         bridge::kInvalidRequest},
        {Request("GetVersion", "{}"), "7", nullptr, bridge::kInvalidRequest},
        {Request("GetVersion", "null"), "7", nullptr, bridge::kInvalidRequest},
        // Methods and their arguments.
        {Request("NoSuchMethod", "[]"), "7", nullptr, bridge::kMethodNotFound},
        {Request("GetVersion", "[1]"), "7", nullptr, bridge::kInvalidArguments},
        {Request("Sign", "[\"a\",\"b\"]"), "7", nullptr, bridge::kInvalidArguments},
        {Request("Sign", "[\"a\",\"b\",1]"), "7", nullptr, bridge::kInvalidArguments},
        {Request("Sign", "[\"a\",null,\"c\"]"), "7", nullptr, bridge::kInvalidArguments},
        {Request("SetSignType", "[\"1\"]"), "7", nullptr, bridge::kInvalidArguments},
        {Request("SetSignType", "[1.0]"), "7", nullptr, bridge::kInvalidArguments},
        {Request("SetSignType", "[1e2]"), "7", nullptr, bridge::kInvalidArguments},
        {Request("SetSignType", "[2147483648]"), "7", nullptr, bridge::kInvalidArguments},
        {Request("SetSignType", "[-2147483649]"), "7", nullptr, bridge::kInvalidArguments},
        {Request("SetSignType", "[true]"), "7", nullptr, bridge::kInvalidArguments},
        {Request("SetSignType", "[[1]]"), "7", nullptr, bridge::kInvalidArguments},
        {Request("TakeShort", "[32768]"), "7", nullptr, bridge::kInvalidArguments},
    };
    bridge::OriginPolicy policy;
    policy.Add("https://bank.example");
    for (const auto& c : cases) {
        CFakeTarget target;
        bridge::Session session(target, policy);
        const Reply r = Read(session.Handle(c.message));
        EXPECT_EQ(c.id, r.id) << c.message;
        if (c.result) {
            EXPECT_EQ(c.result, r.result) << c.message;
            EXPECT_EQ(1, target.calls) << c.message;
        } else {
            EXPECT_EQ(c.code, r.code) << c.message;
            EXPECT_EQ(0, target.calls) << c.message << ": nothing may run";
        }
    }
}

TEST(Session, FailuresOfTheTargetAreErrorReplies)
{
    bridge::OriginPolicy policy;
    CFakeTarget target;
    bridge::Session session(target, policy);
    EXPECT_EQ(bridge::kControlFailed, Read(session.Handle(Request("Fail", "[]"))).code);
    const std::string huge = session.Handle(Request("Huge", "[]"));
    EXPECT_EQ(bridge::kResultTooLarge, Read(huge).code) << "a reply must fit a message";
    EXPECT_LT(huge.size(), 1000u);
    target.unavailable = true;
    EXPECT_EQ(bridge::kControlUnavailable, Read(session.Handle(Request("GetVersion", "[]"))).code);
    EXPECT_EQ(bridge::kOriginRefused, Read(session.Handle(Request("GetVersion", "[]", "https://x.test"))).code)
        << "the origin is checked first";
}

}  // namespace
