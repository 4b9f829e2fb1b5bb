#pragma once
// Drives the real common dialogs from a second thread while the thread that
// made the driver sits in the modal dialog: finds each new visible "#32770"
// window of that thread and answers it, one step after another.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

struct DialogStep {
    enum Kind {
        Confirm,    // a file dialog: type `name` into the name box, then OK
        Cancel,     // a file dialog: Cancel
        AnswerYes,  // a message box raised by the file dialog: Yes
        PressOk,      // a dialog without a name box (the print dialog): OK
        PressCancel,  // the same: Cancel
    } kind;
    std::string name;
};

// What a file dialog showed when it was found.
struct SeenDialog {
    bool fileDialog = false;         // it has the name box (cmb13)
    std::string initialName;         // the name box's text
    std::vector<std::string> types;  // the file type list (cmb1), in order
};

class DialogDriver {
public:
    explicit DialogDriver(std::vector<DialogStep> steps);
    ~DialogDriver();  // stops and joins
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Waits for the thread; true when every step found its window.
    bool Finish();
    const std::vector<SeenDialog>& Seen() const { return seen_; }  // after Finish

private:
    void Run();
    HWND WaitForNewDialog(bool fileDialog);

    std::vector<DialogStep> steps_;
    DWORD owner_;  // the thread that shows the dialogs
    std::vector<HWND> answered_;
    std::vector<SeenDialog> seen_;
    std::atomic<bool> stop_{false};
    std::atomic<int> done_{0};
    std::thread thread_;
};
