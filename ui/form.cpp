#include "tamberlin/ui/form.h"

#include "tamberlin/ui/host.h"

#include <algorithm>
#include <stdexcept>

namespace tamberlin::ui {
namespace {

std::vector<Form*>& Loaded() {
    static std::vector<Form*> forms;
    return forms;
}

std::int16_t g_mouse_pointer = 0;
std::vector<std::function<void()>> g_posted;

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
    form.Form_Unload();
    auto& forms = Loaded();
    forms.erase(std::remove(forms.begin(), forms.end(), &form), forms.end());
}

void ShowModal(Form& form) {
    Load(form);
    if (IsLoaded(form))
        CurrentHost().ShowModal(form);
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
