#include "kvosession.h"

#include <windows.h>

#include <cstring>

using diaglog::CLogFileException;
using diaglog::LogRecordHeader;

namespace {

using Outcome = CKvoSession::Outcome;

std::string FieldText(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

}  // namespace

template <class Step>
bool CKvoSession::Try(Step step)
{
    try {
        step();
        return true;
    } catch (const CLogFileException&) {
        return false;  // the operation answers Failed
    }
}

bool CKvoSession::Reload()
{
    // A log that cannot be read shows as what the store holds: nothing
    // after a bad file, the last load while the file stays in use.
    return Try([&] { m_log.Load(m_log.GetPath().c_str()); });
}

bool CKvoSession::AddSystemInfoAndReload()
{
    const bool added =
        Try([&] { m_log.AddRecord(kvo::kSystemInfoSubject, m_host.BuildSystemInfoText().c_str()); });
    const bool loaded = Reload();
    return added && loaded;
}

CKvoSession::Outcome CKvoSession::Start()
{
    // The log an earlier run left goes before the probe, whatever Windows.
    const bool cleared = Try([&] { m_log.Clear(); });
    m_off = m_host.RunProbe();
    if (m_off)
        return cleared ? Outcome::Off : Outcome::Failed;
    const bool opened = AddSystemInfoAndReload();
    return cleared && opened ? Outcome::Done : Outcome::Failed;
}

CKvoSession::Result CKvoSession::Import()
{
    const kvo::LogOperation operation = kvo::LogOperation::Import;
    if (m_off)
        return {operation, Outcome::Off};
    const std::string path = m_host.AskLogFile(false);
    if (path.empty())
        return {operation, Outcome::NoFile};
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {operation, Outcome::NoFile};
    // A file that is not a log leaves the log as it was; the reload shows it.
    bool imported = false;
    const bool loaded = Try([&] { imported = m_log.Load(path.c_str()); });
    const bool rest = imported ? AddSystemInfoAndReload() : Reload();
    if (!loaded || !rest)
        return {operation, Outcome::Failed};
    return {operation, imported ? Outcome::Done : Outcome::Refused};
}

CKvoSession::Result CKvoSession::Export()
{
    const kvo::LogOperation operation = kvo::LogOperation::Export;
    if (m_off)
        return {operation, Outcome::Off};
    const std::string chosen = m_host.AskLogFile(true);
    if (chosen.empty())
        return {operation, Outcome::NoFile};
    const std::string target = kvo::ExportPath(chosen);
    // The copy waits for a control that is appending; a copy that fails
    // anyway is reported, since the log goes when the tool ends.
    bool copied = false;
    const bool ok = Try([&] {
        copied = m_log.WaitForAccess(FILE_SHARE_READ) &&
                 CopyFileA(m_log.GetPath().c_str(), target.c_str(), FALSE) != FALSE;
    });
    if (!ok)
        return {operation, Outcome::Failed};
    return {operation, copied ? Outcome::Done : Outcome::Refused};
}

CKvoSession::Result CKvoSession::Clear()
{
    const kvo::LogOperation operation = kvo::LogOperation::Clear;
    if (m_off)
        return {operation, Outcome::Off};
    const bool cleared = Try([&] { m_log.Clear(); });
    const bool opened = AddSystemInfoAndReload();
    return {operation, cleared && opened ? Outcome::Done : Outcome::Failed};
}

CKvoSession::Result CKvoSession::Refresh()
{
    const kvo::LogOperation operation = kvo::LogOperation::Refresh;
    if (m_off)
        return {operation, Outcome::Off};
    m_host.RunProbe();  // the Windows version stays what the start found
    return {operation, Reload() ? Outcome::Done : Outcome::Failed};
}

CKvoSession::Outcome CKvoSession::End()
{
    return Try([&] { m_log.Clear(); }) ? Outcome::Done : Outcome::Failed;
}

std::vector<CKvoSession::Row> CKvoSession::Rows() const
{
    std::vector<Row> rows;
    for (const LogRecordHeader& header : m_log.GetHeaders())
        rows.push_back({FieldText(header.time, sizeof header.time),
                        kvo::DisplaySubject(header.subject, sizeof header.subject)});
    return rows;
}

bool CKvoSession::RecordToOpen(int selected, bool unlocked, Record& record) const
{
    const std::deque<LogRecordHeader>& headers = m_log.GetHeaders();
    const std::deque<std::string>& contents = m_log.GetContents();
    const int index = kvo::RecordToOpen(m_off, unlocked, selected, headers.size(), contents.size());
    if (index < 0)
        return false;
    const LogRecordHeader& header = headers[static_cast<size_t>(index)];
    record.content = contents[static_cast<size_t>(index)];
    record.subject = FieldText(header.subject, sizeof header.subject);
    record.time = FieldText(header.time, sizeof header.time);
    return true;
}

bool CKvoSession::NoticeOf(const Result& result, Notice& notice)
{
    if (result.outcome == Outcome::Failed) {
        notice = {kvo::LogFailureText(result.operation), true};
        return true;
    }
    if (result.operation == kvo::LogOperation::Import && result.outcome == Outcome::Done) {
        notice = {kvo::kImportDone, false};
        return true;
    }
    if (result.outcome == Outcome::Refused && result.operation == kvo::LogOperation::Import) {
        notice = {kvo::kImportFailed, true};
        return true;
    }
    if (result.outcome == Outcome::Refused && result.operation == kvo::LogOperation::Export) {
        notice = {kvo::kExportFailed, true};
        return true;
    }
    return false;
}
