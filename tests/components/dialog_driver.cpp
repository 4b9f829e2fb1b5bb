#include "tests/components/dialog_driver.h"

#include <dlgs.h>

#include <algorithm>
#include <chrono>

namespace {

constexpr auto kPatience = std::chrono::seconds(15);

struct Search {
    const std::vector<HWND>* answered;
    bool fileDialog;
    HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM context) {
    auto* s = reinterpret_cast<Search*>(context);
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (std::string(cls) != "#32770" || !IsWindowVisible(window)) return TRUE;
    if (std::find(s->answered->begin(), s->answered->end(), window) != s->answered->end()) return TRUE;
    if ((GetDlgItem(window, cmb13) != nullptr) != s->fileDialog) return TRUE;
    s->found = window;
    return FALSE;
}

std::string ItemText(HWND dialog, int id) {
    char text[512] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[512] = "";
        if (SendMessageA(combo, CB_GETLBTEXTLEN, i, 0) < static_cast<LRESULT>(sizeof text))
            SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

void Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

DialogDriver::DialogDriver(std::vector<DialogStep> steps)
    : steps_(std::move(steps)), owner_(GetCurrentThreadId()), thread_([this] { Run(); }) {}

DialogDriver::~DialogDriver() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

bool DialogDriver::Finish() {
    if (thread_.joinable()) thread_.join();
    return done_ == static_cast<int>(steps_.size());
}

HWND DialogDriver::WaitForNewDialog(bool fileDialog) {
    const auto until = std::chrono::steady_clock::now() + kPatience;
    while (!stop_ && std::chrono::steady_clock::now() < until) {
        Search s{&answered_, fileDialog};
        EnumThreadWindows(owner_, Visit, reinterpret_cast<LPARAM>(&s));
        if (s.found) {
            Sleep(100);  // let the dialog finish its own set-up before it is answered
            return s.found;
        }
        Sleep(20);
    }
    return nullptr;
}

void DialogDriver::Run() {
    for (const DialogStep& step : steps_) {
        const bool fileDialog = step.kind == DialogStep::Confirm || step.kind == DialogStep::Cancel;
        HWND dialog = WaitForNewDialog(fileDialog);
        if (!dialog) return;
        answered_.push_back(dialog);
        SeenDialog seen;
        seen.fileDialog = fileDialog;
        if (fileDialog) {
            seen.initialName = ItemText(dialog, cmb13);
            seen.types = ComboItems(GetDlgItem(dialog, cmb1));
        }
        seen_.push_back(seen);
        switch (step.kind) {
            case DialogStep::Confirm:
                SetDlgItemTextA(dialog, cmb13, step.name.c_str());
                Press(dialog, IDOK);
                break;
            case DialogStep::Cancel: Press(dialog, IDCANCEL); break;
            case DialogStep::AnswerYes: Press(dialog, IDYES); break;
            case DialogStep::PressOk: Press(dialog, IDOK); break;
            case DialogStep::PressCancel: Press(dialog, IDCANCEL); break;
        }
        ++done_;
    }
}
