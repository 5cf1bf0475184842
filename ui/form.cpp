#include "tamberlin/ui/form.h"

#include "platform/simple_mapi.h"
#include "tamberlin/ui/host.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <string>
#include <utility>

namespace tamberlin::ui {
namespace {

std::vector<Form*>& Loaded() {
    static std::vector<Form*> forms;
    return forms;
}

std::int16_t g_mouse_pointer = 0;
std::vector<std::function<void()>> g_posted;
// Constant-initialised, so a reporter installed by another file's static
// initialiser is never overwritten.
constinit HandlerErrorReporter g_reporter = nullptr;

const char* EventName(Event event) {
    switch (event) {
    case Event::kClick:
        return "Click";
    case Event::kDblClick:
        return "DblClick";
    }
    return "Event";
}

// Hands the error being handled to the reporter as the error of the form's
// `handler`.
void Report(const Form& form, std::string_view handler) noexcept {
    if (!g_reporter)
        return;
    std::string name;
    try {
        name = form.Name() + "." + std::string(handler);
    } catch (...) {
        // Reported without its name rather than not at all.
    }
    g_reporter(name);
}

// The unload that ends a showing: a failing Form_Unload is reported, and the
// form is gone all the same.
void UnloadReporting(Form& form) noexcept {
    try {
        Unload(form);
    } catch (...) {
        Report(form, "Form_Unload");
    }
}

} // namespace

Control Control::Make(std::string name, ControlKind kind, int left, int top, int width, int height,
                      int tab_index, std::string caption) {
    Control c;
    c.name = std::move(name);
    c.kind = kind;
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.tab_index = tab_index;
    c.caption = std::move(caption);
    return c;
}

std::string WithoutAccessKey(std::string_view caption) {
    std::string out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size())
            ++i;
        out += caption[i];
    }
    return out;
}

Form::~Form() {
    // A form that goes away while loaded leaves the collection with it.
    auto& forms = Loaded();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
}

Control& Form::operator()(std::string_view name, int index) {
    for (Control& c : controls)
        if (c.name == name && c.index == index)
            return c;
    throw std::out_of_range("no control " + std::string(name) + " on " + name_);
}

const Control& Form::operator()(std::string_view name, int index) const {
    return const_cast<Form&>(*this)(name, index);
}

int Form::VisibleClientHeight(int frame_twips) const {
    return outer_height > 0 ? std::min(client_height, outer_height - frame_twips) : client_height;
}

bool Form::Usable(const Control& control, int frame_twips) const {
    return control.visible && control.enabled && control.top < VisibleClientHeight(frame_twips);
}

void Form::Raise(std::string_view, Event) {}

std::vector<std::size_t> TabOrder(const Form& form) {
    std::vector<std::size_t> order(form.controls.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    // As unsigned, -1 (no tab stop) sorts after every tab index.
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return static_cast<unsigned>(form.controls[a].tab_index) <
               static_cast<unsigned>(form.controls[b].tab_index);
    });
    return order;
}

const std::vector<Form*>& Forms() {
    return Loaded();
}

bool IsLoaded(const Form& form) {
    const auto& forms = Loaded();
    return std::find(forms.begin(), forms.end(), &form) != forms.end();
}

void Load(Form& form) {
    if (IsLoaded(form))
        return;
    Loaded().push_back(&form);
    form.Form_Load();
}

void Unload(Form& form) {
    if (!IsLoaded(form))
        return;
    // An unload is never cancelled, not even by a failing Form_Unload.
    struct Remove {
        Form& form;
        ~Remove() {
            auto& forms = Loaded();
            forms.erase(std::remove(forms.begin(), forms.end(), &form), forms.end());
        }
    } remove{form};
    form.Form_Unload();
}

void ShowModal(Form& form) {
    Load(form);
    if (!IsLoaded(form))
        return;
    try {
        CurrentHost().ShowModal(form);
    } catch (...) {
        // Hosts do not throw; one installed by an application might.
        Report(form, "Show");
    }
    UnloadReporting(form);
}

HandlerErrorReporter SetHandlerErrorReporter(HandlerErrorReporter reporter) noexcept {
    return std::exchange(g_reporter, reporter);
}

bool RaiseEvent(Form& form, std::string_view control, Event event) noexcept {
    if (!IsLoaded(form))
        return false;
    std::string name;
    try {
        // A copy: the handler may change the controls `control` points into.
        name = control;
        form.Raise(name, event);
    } catch (...) {
        try {
            name += '_';
            name += EventName(event);
        } catch (...) {
        }
        Report(form, name);
        UnloadReporting(form);
    }
    return IsLoaded(form);
}

std::int16_t MousePointer() {
    return g_mouse_pointer;
}

void SetMousePointer(std::int16_t pointer) {
    g_mouse_pointer = pointer;
    CurrentHost().MousePointerChanged(pointer);
}

void DoEvents() {
    CurrentHost().DoEvents();
}

namespace {
// A wait for the mail client keeps the host's events going.
[[maybe_unused]] const auto kPreviousWaitPump = platform::mapi::SetWaitPump(DoEvents);
} // namespace

void Post(std::function<void()> callback) {
    g_posted.push_back(std::move(callback));
    CurrentHost().Wake();
}

void RunPosted() {
    // Callbacks may post more; those run on the next pass.
    std::vector<std::function<void()>> due;
    due.swap(g_posted);
    for (const auto& callback : due)
        callback();
}

} // namespace tamberlin::ui
