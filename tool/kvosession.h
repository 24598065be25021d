// CKvoSession: KvoCheck's diagnostic log for the life of its main dialog.
// It owns the log store and keeps the tool's rules for it:
//  - Start: the log an earlier run left is cleared, the client is probed,
//    and the log opens with a "系统信息" record, which is loaded.
//  - Import: a chosen log file replaces the records, the "系统信息" record
//    follows them, and the log is loaded again.
//  - Export: the log file as stored is copied to the chosen name (".log"
//    appended unless it ends so), once no control is appending.
//  - Clear: the log is deleted, starts again with the "系统信息" record and
//    is loaded again.
//  - Refresh: the client is probed anew and the log loaded again.
//  - End: the log is deleted, however the dialog ended.
// On Windows 95, 98 and ME (the start's probe says so) every operation but
// Start and End does nothing and answers Off, and no record opens.
//
// A failure of the store (CLogFileException: a full disk, a path the system
// refuses) ends only its own step: the operation goes on with its next steps
// and answers Failed, once however many steps failed. A log that stays in
// use answers as the store does: the record is dropped, the last load kept.
//
// What the session needs of the dialog comes through CHost: the probe, the
// text of the "系统信息" record and the file dialogs.
#ifndef QEL_TOOL_KVOSESSION_H
#define QEL_TOOL_KVOSESSION_H

#include <string>
#include <vector>

#include "kvocheckrules.h"
#include "logfile.h"

class CKvoSession {
public:
    class CHost {
    public:
        // Probes the client and shows it; true when Windows is too old for
        // the log (the probe stopped after the Windows line).
        virtual bool RunProbe() = 0;
        // The text of the "系统信息" record, from what the probe showed.
        virtual std::string BuildSystemInfoText() const = 0;
        // A file name from the open (save false) or save dialog; empty when
        // cancelled.
        virtual std::string AskLogFile(bool save) = 0;

    protected:
        ~CHost() = default;
    };

    enum class Outcome {
        Done,
        Off,      // Windows too old: nothing done
        NoFile,   // no file chosen, or the chosen name is no file: nothing done
        Refused,  // import: the file is no log (the records stay); export: the copy failed
        Failed,   // the store failed in at least one step
    };
    struct Result {
        kvo::LogOperation operation;
        Outcome outcome;
    };

    // The message box an operation ends with: its text and whether it is
    // an error (else information).
    struct Notice {
        std::string text;
        bool error;
    };
    // False when the result shows no box: done (but an import), Off, NoFile.
    // A store failure shows kvo::LogFailureText alone, whatever else the
    // operation met.
    static bool NoticeOf(const Result& result, Notice& notice);

    // One line of the log list: the record's time and its subject as shown.
    struct Row {
        std::string time;
        std::string subject;
    };
    // A record to open in the detail view.
    struct Record {
        std::string content;
        std::string subject;
        std::string time;
    };

    // The log is that of the temporary directory at construction.
    explicit CKvoSession(CHost& host) : m_host(host) {}
    CKvoSession(const CKvoSession&) = delete;
    CKvoSession& operator=(const CKvoSession&) = delete;

    Outcome Start();
    Result Import();
    Result Export();
    Result Clear();
    Result Refresh();
    Outcome End();

    // Off after a start on Windows 95, 98 or ME.
    bool IsOff() const { return m_off; }
    // The records of the last load, oldest first.
    std::vector<Row> Rows() const;
    // The record of log line `selected` when the detail view may show it
    // (see kvo::RecordToOpen); false otherwise.
    bool RecordToOpen(int selected, bool unlocked, Record& record) const;
    std::string LogPath() const { return m_log.GetPath(); }

private:
    // Runs one step of an operation; false when the store failed in it.
    template <class Step>
    static bool Try(Step step);
    // The "系统信息" record, then the log loaded again.
    bool AddSystemInfoAndReload();
    bool Reload();

    CHost& m_host;
    diaglog::CLogFile m_log;
    bool m_off = false;
};

#endif
