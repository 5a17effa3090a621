// The reader thread: drains the uploader's output, logs it line by line,
// counts the items sent and shows the summary. It owns runSlot.outRead and
// runSlot.sentCount for the length of a run.
#include "run_slot.h"

#include "../log/activity_log.h"
#include "output_text.h"

DWORD WINAPI readExtProgram(LPVOID)
{
    char buffer[514] = {};
    PendingLine pending;
    std::wstring lines; // the lines one read completes, logged together

    DWORD got, waiting = 0, error = 0;
    for (;;) {
        if (!ReadFile(runSlot.outRead, buffer, 512, &got, nullptr)) {
            error = GetLastError(); // before the last append, whose calls may set it anew
            break;
        }
        runSlot.sentCount += feedOutputLines(pending, buffer, got, lines);
        // While more output is already waiting, its lines join this block:
        // a flood then takes the log's lock once for many reads, not for
        // each, and asks the pipe what waits once for all it found waiting.
        waiting = waiting > got ? waiting - got : 0;
        if (got == 512 && lines.size() < 16384 &&
            (waiting > 0 || (PeekNamedPipe(runSlot.outRead, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0)))
            continue;
        waiting = 0;
        appendLogLines(lines);
        lines.clear();
    }
    appendLogLines(lines);

    CloseHandle(runSlot.outRead);
    if (error != ERROR_BROKEN_PIPE && error != 0)
        logError(L"runCommand failed=", error);

    // The summary must not overtake the run's own last lines.
    flushLog();
    std::wstring count = countText(runSlot.sentCount);
    SetWindowTextW(runWindow, (L"Kestrup sent=" + count).c_str());
    MessageBoxW(runWindow, (L"NZBs sent=" + count).c_str(), L"Kestrup Finished", MB_OK);
    runSlot.sentCount = 0;
    workerDone();
    return 0;
}
