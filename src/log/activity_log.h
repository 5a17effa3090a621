// The activity log: the program's one reporting channel.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

constexpr UINT WM_LOG_WAKE = WM_APP + 0x41; // posted to the view when the log stops being idle

// Serialises appends; created with the main window and never closed.
extern HANDLE logLock;

// Hands the log its view, lock and the view's limit: once, on the UI thread,
// which owns the view, while the main window is created, before any worker.
void initLog(HWND view, HANDLE lock, size_t limit);

// Appends text and a line break. Callable from any thread.
void appendLog(const wchar_t* text);

// Appends whole lines, each with its CR LF, in one hold of logLock (the reader's).
void appendLogLines(const std::wstring& text);

// The system's message for a Win32 error or an HRESULT, without the trailing
// line break; a fallback form when the system has none.
std::wstring errorText(uint32_t code);

// The fallback forms of errorText, for codes the system has no text for.
std::wstring fallbackErrorText(uint32_t code);

// Appends prefix followed directly by errorText(code).
void logError(const wchar_t* prefix, uint32_t code);

// Waits until every line queued so far is in the view (or dropped for newer
// ones), without sending the UI thread anything: for a worker that must not
// show a result before its own lines. Never on the UI thread, which ticks.
void flushLog();

