// KvoCheck's log session without a window: a stand-in for the dialog
// answers the probe, the system information and the file dialogs, and the
// log lies in a private temporary directory, read back with the store.
#include "kvosession.h"
#include "logfile.h"
#include "logtest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

using diaglog::CLogFile;
using diaglog::LogRecordHeader;

namespace {

using Outcome = CKvoSession::Outcome;
using kvo::LogOperation;

const char kSystemInfo[] = "\xCF\xB5\xCD\xB3\xD0\xC5\xCF\xA2";  // 系统信息

class CHostStub final : public CKvoSession::CHost {
public:
    bool tooOld = false;
    int probes = 0;
    std::string systemInfo = "client as probed";
    std::deque<std::string> files;  // answers of the file dialogs, in turn
    std::vector<bool> asked;        // save flag of each file dialog

    bool RunProbe() override
    {
        ++probes;
        return tooOld;
    }
    std::string BuildSystemInfoText() const override { return systemInfo; }
    std::string AskLogFile(bool save) override
    {
        asked.push_back(save);
        std::string file;
        if (!files.empty()) {
            file = files.front();
            files.pop_front();
        }
        return file;
    }
};

std::string Subject(const LogRecordHeader& h) { return std::string(h.subject, strnlen(h.subject, sizeof h.subject)); }

// Subject and content of each record of the own log as the store reads it.
std::vector<std::string> Stored()
{
    CLogFile log;
    std::vector<std::string> records;
    if (!log.Load(log.GetPath().c_str()))
        records.push_back("<unreadable>");
    for (size_t i = 0; i < log.GetHeaders().size(); ++i)
        records.push_back(Subject(log.GetHeaders()[i]) + "|" + log.GetContents()[i]);
    return records;
}

std::vector<std::string> Subjects(const CKvoSession& session)
{
    std::vector<std::string> subjects;
    for (const CKvoSession::Row& row : session.Rows())
        subjects.push_back(row.subject);
    return subjects;
}

// A record as a control appends it while the tool runs.
void Append(const char* subject, const char* content)
{
    CLogFile control;
    control.AddRecord(subject, content);
}

std::string Describe(const CKvoSession::Result& result)
{
    static const char* const kOutcomes[] = {"done", "off", "no file", "refused", "failed"};
    return std::to_string(static_cast<int>(result.operation)) + ":" + kOutcomes[static_cast<int>(result.outcome)];
}

std::string Describe(LogOperation operation, Outcome outcome) { return Describe({operation, outcome}); }

class KvoSession : public testing::Test {
protected:
    logtest::PrivateTemp temp;  // before the session: its log lies here
    CHostStub host;
};

TEST_F(KvoSession, StartClearsTheOldLogAndOpensItWithTheSystemInformation)
{
    Append("stale", "left over");
    Append("stale", "left over");
    CKvoSession session(host);
    EXPECT_EQ(temp.LogPath(), session.LogPath());
    EXPECT_EQ(Outcome::Done, session.Start());
    EXPECT_FALSE(session.IsOff());
    EXPECT_EQ(1, host.probes);
    EXPECT_EQ(std::vector<std::string>{std::string(kSystemInfo) + "|client as probed"}, Stored());
    ASSERT_EQ(1u, session.Rows().size());
    EXPECT_EQ(kSystemInfo, session.Rows()[0].subject);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    EXPECT_EQ(6, std::sscanf(session.Rows()[0].time.c_str(), "%d/%d/%d/%d:%d:%d", &y, &mo, &d, &h, &mi, &s))
        << session.Rows()[0].time;

    EXPECT_EQ(Outcome::Done, session.End());
    EXPECT_FALSE(logtest::FileExists(temp.LogPath())) << "the log goes at the end";
    EXPECT_EQ(Outcome::Done, session.End()) << "and may go twice";
}

TEST_F(KvoSession, RefreshAndClearShowWhatTheControlsWrote)
{
    CKvoSession session(host);
    ASSERT_EQ(Outcome::Done, session.Start());
    Append("*signed", "Plain:3:abc");
    Append(" blank", "x");
    EXPECT_EQ(std::vector<std::string>{kSystemInfo}, Subjects(session)) << "rows change only with a load";

    EXPECT_EQ(Describe(LogOperation::Refresh, Outcome::Done), Describe(session.Refresh()));
    EXPECT_EQ(2, host.probes) << "a refresh probes anew";
    EXPECT_EQ((std::vector<std::string>{kSystemInfo, "signed", " blank"}), Subjects(session))
        << "\"*\" is not shown, a leading blank is";

    host.systemInfo = "probed again";
    EXPECT_EQ(Describe(LogOperation::Clear, Outcome::Done), Describe(session.Clear()));
    EXPECT_EQ(std::vector<std::string>{kSystemInfo}, Subjects(session));
    EXPECT_EQ(std::vector<std::string>{std::string(kSystemInfo) + "|probed again"}, Stored());
    EXPECT_EQ(2, host.probes) << "clear does not probe";
}

TEST_F(KvoSession, RecordToOpenNeedsTheUnlockAndALoadedLine)
{
    CKvoSession session(host);
    ASSERT_EQ(Outcome::Done, session.Start());
    Append("*signed", "Plain:3:abc");
    session.Refresh();
    const struct {
        int selected;
        bool unlocked;
        const char* opened;  // subject|content, or null
    } cases[] = {
        {0, true, "\xCF\xB5\xCD\xB3\xD0\xC5\xCF\xA2|client as probed"}, {1, true, "*signed|Plain:3:abc"},
        {1, false, nullptr}, {2, true, nullptr}, {-1, true, nullptr},
    };
    for (const auto& c : cases) {
        CKvoSession::Record record;
        const bool opened = session.RecordToOpen(c.selected, c.unlocked, record);
        EXPECT_EQ(c.opened != nullptr, opened) << c.selected << ", " << c.unlocked;
        if (c.opened && opened) {
            EXPECT_EQ(c.opened, record.subject + "|" + record.content) << c.selected;
            EXPECT_EQ(session.Rows()[static_cast<size_t>(c.selected)].time, record.time);
        }
    }
}

TEST_F(KvoSession, ExportAndImport)
{
    CKvoSession session(host);
    ASSERT_EQ(Outcome::Done, session.Start());
    Append("page", "from the page");
    ASSERT_EQ(Outcome::Done, session.Refresh().outcome);
    const logtest::Bytes stored = logtest::ReadBytes(temp.LogPath());
    logtest::WriteBytes(temp.Dir() + "other.log", logtest::Bytes(100, 'x'));
    CreateDirectoryA((temp.Dir() + "folder.log").c_str(), nullptr);

    const struct {
        LogOperation operation;
        std::string file;  // the file dialog's answer
        Outcome outcome;
        size_t rows;       // afterwards
    } cases[] = {
        {LogOperation::Export, "", Outcome::NoFile, 2},
        {LogOperation::Export, temp.Dir() + "saved", Outcome::Done, 2},
        {LogOperation::Export, temp.Dir() + "no\\such\\dir\\x.log", Outcome::Refused, 2},
        {LogOperation::Import, "", Outcome::NoFile, 2},
        {LogOperation::Import, temp.Dir() + "missing.log", Outcome::NoFile, 2},
        {LogOperation::Import, temp.Dir() + "folder.log", Outcome::NoFile, 2},
        {LogOperation::Import, temp.Dir() + "other.log", Outcome::Refused, 2},
        {LogOperation::Import, temp.Dir() + "saved.log", Outcome::Done, 3},
    };
    for (const auto& c : cases) {
        host.files = {c.file};
        host.asked.clear();
        const CKvoSession::Result result =
            c.operation == LogOperation::Export ? session.Export() : session.Import();
        EXPECT_EQ(Describe(c.operation, c.outcome), Describe(result)) << c.file;
        EXPECT_EQ(std::vector<bool>{c.operation == LogOperation::Export}, host.asked) << c.file;
        EXPECT_EQ(c.rows, session.Rows().size()) << c.file;
    }
    EXPECT_TRUE(stored == logtest::ReadBytes(temp.Dir() + "saved.log")) << "the export is the log as stored";
    EXPECT_EQ((std::vector<std::string>{kSystemInfo, "page", kSystemInfo}), Subjects(session))
        << "the imported records, then the system information";
    EXPECT_EQ(3u, Stored().size());
}

// Windows 95, 98 and ME: the old log goes, nothing else happens.
TEST_F(KvoSession, TooOldWindowsTurnsTheLogOff)
{
    Append("stale", "left over");
    host.tooOld = true;
    CKvoSession session(host);
    EXPECT_EQ(Outcome::Off, session.Start());
    EXPECT_TRUE(session.IsOff());
    host.files = {temp.Dir() + "x.log", temp.Dir() + "y.log"};
    const std::function<CKvoSession::Result()> operations[] = {
        [&] { return session.Refresh(); }, [&] { return session.Clear(); }, [&] { return session.Import(); },
        [&] { return session.Export(); }};
    for (const auto& operation : operations) {
        const CKvoSession::Result result = operation();
        EXPECT_EQ(Outcome::Off, result.outcome) << Describe(result);
        CKvoSession::Notice notice;
        EXPECT_FALSE(CKvoSession::NoticeOf(result, notice)) << Describe(result);
    }
    EXPECT_EQ(1, host.probes) << "only the start probes";
    EXPECT_TRUE(host.asked.empty()) << "no file dialog";
    EXPECT_FALSE(logtest::FileExists(temp.LogPath())) << "no record";
    EXPECT_TRUE(session.Rows().empty());
    CKvoSession::Record record;
    EXPECT_FALSE(session.RecordToOpen(0, true, record));
    EXPECT_EQ(Outcome::Done, session.End());
}

// One message box per result: a store failure says which operation met it.
TEST_F(KvoSession, NoticeOfEachResult)
{
    const std::string failed = "\xC8\xD5\xD6\xBE\xB2\xD9\xD7\xF7\xCA\xA7\xB0\xDC\xA3\xBA";  // 日志操作失败：
    const struct {
        LogOperation operation;
        Outcome outcome;
        const char* text;  // null: no box
        bool error;
    } cases[] = {
        {LogOperation::Import, Outcome::Done, kvo::kImportDone, false},
        {LogOperation::Import, Outcome::Refused, kvo::kImportFailed, true},
        {LogOperation::Export, Outcome::Refused, kvo::kExportFailed, true},
        {LogOperation::Export, Outcome::Done, nullptr, false},
        {LogOperation::Clear, Outcome::Done, nullptr, false},
        {LogOperation::Refresh, Outcome::Done, nullptr, false},
        {LogOperation::Import, Outcome::NoFile, nullptr, false},
        {LogOperation::Export, Outcome::NoFile, nullptr, false},
        {LogOperation::Clear, Outcome::Off, nullptr, false},
    };
    for (const auto& c : cases) {
        CKvoSession::Notice notice = {"untouched", false};
        EXPECT_EQ(c.text != nullptr, CKvoSession::NoticeOf({c.operation, c.outcome}, notice))
            << Describe(c.operation, c.outcome);
        if (c.text) {
            EXPECT_EQ(c.text, notice.text) << Describe(c.operation, c.outcome);
            EXPECT_EQ(c.error, notice.error) << Describe(c.operation, c.outcome);
        }
    }
    for (LogOperation operation :
         {LogOperation::Clear, LogOperation::Import, LogOperation::Export, LogOperation::Refresh}) {
        CKvoSession::Notice notice;
        ASSERT_TRUE(CKvoSession::NoticeOf({operation, Outcome::Failed}, notice));
        EXPECT_EQ(kvo::LogFailureText(operation), notice.text);
        EXPECT_EQ(0u, notice.text.find(failed)) << notice.text;
        EXPECT_TRUE(notice.error);
    }
}

// The store refuses the own file: a folder in its place (every open is
// refused), or a read-only file (it cannot be deleted or appended to; an
// import replaces it where the platform lets a rename replace a read-only
// file, as Wine does, so it is not checked there). Each operation answers
// once and the session goes on; with the obstacle gone the log works again.
TEST_F(KvoSession, StoreFailuresAreReportedOnceAndTheSessionGoesOn)
{
    CKvoSession session(host);
    ASSERT_EQ(Outcome::Done, session.Start());
    const std::string saved = temp.Dir() + "saved.log";
    host.files = {saved};
    ASSERT_EQ(Outcome::Done, session.Export().outcome);

    const struct {
        const char* what;
        std::function<void()> block, unblock;
        Outcome start, clear, refresh, end;
        bool importFails;  // else not checked
    } cases[] = {
        {"a folder in the log's place",
         [&] { ASSERT_TRUE(DeleteFileA(temp.LogPath().c_str()) && CreateDirectoryA(temp.LogPath().c_str(), nullptr)); },
         [&] { RemoveDirectoryA(temp.LogPath().c_str()); }, Outcome::Failed, Outcome::Failed, Outcome::Failed,
         Outcome::Failed, true},
        {"a read-only log", [&] { ASSERT_TRUE(SetFileAttributesA(temp.LogPath().c_str(), FILE_ATTRIBUTE_READONLY)); },
         [&] { SetFileAttributesA(temp.LogPath().c_str(), FILE_ATTRIBUTE_NORMAL); }, Outcome::Failed,
         Outcome::Failed, Outcome::Done, Outcome::Failed, false},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Outcome::Done, session.Clear().outcome) << c.what;
        c.block();
        const struct {
            const char* name;
            std::function<Outcome()> run;
            Outcome expected;
        } steps[] = {
            {"start", [&] { CKvoSession second(host); return second.Start(); }, c.start},
            {"clear", [&] { return session.Clear().outcome; }, c.clear},
            {"refresh", [&] { return session.Refresh().outcome; }, c.refresh},
            {"end", [&] { return session.End(); }, c.end},
            {"import", [&] { host.files = {saved}; return session.Import().outcome; }, Outcome::Failed},
        };
        for (const auto& step : steps) {
            if (std::string(step.name) == "import" && !c.importFails)
                continue;
            const DWORD start = GetTickCount();
            EXPECT_EQ(Describe(LogOperation::Clear, step.expected), Describe(LogOperation::Clear, step.run()))
                << c.what << ": " << step.name;
            EXPECT_LT(GetTickCount() - start, 5000u) << c.what << ": " << step.name;
        }
        c.unblock();
        EXPECT_EQ(Describe(LogOperation::Clear, Outcome::Done), Describe(session.Clear())) << c.what;
        EXPECT_EQ(std::vector<std::string>{kSystemInfo}, Subjects(session)) << c.what;
    }
    EXPECT_EQ(Outcome::Done, session.End());
}

// A log that stays in use is no failure of the store: the records of the
// last load stay.
TEST_F(KvoSession, ALogInUseKeepsTheLastLoad)
{
    CKvoSession session(host);
    ASSERT_EQ(Outcome::Done, session.Start());
    HANDLE held = CreateFileA(temp.LogPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(Describe(LogOperation::Refresh, Outcome::Done), Describe(session.Refresh()));
    CloseHandle(held);
    EXPECT_EQ(std::vector<std::string>{kSystemInfo}, Subjects(session));
}

}  // namespace
