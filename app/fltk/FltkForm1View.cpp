#include "app/fltk/FltkForm1View.h"

#include <FL/Fl.H>
#include <FL/Fl_Native_File_Chooser.H>

#include "app/AppTexts.h"
#include "app/Application.h"
#include "platform/Text.h"

namespace kelvane {
namespace {

constexpr int kClientWidth = 441;
constexpr int kClientHeight = 137;

// The screen's working area that holds the mouse pointer (where the user is).
void CentreOnScreen(Fl_Window& window) {
  int sx, sy, sw, sh;
  Fl::screen_work_area(sx, sy, sw, sh);
  window.position(sx + (sw - window.w()) / 2, sy + (sh - window.h()) / 2);
}

}  // namespace

TFltkForm1View::TFltkForm1View() {
  FWindow = std::make_unique<Fl_Double_Window>(kClientWidth, kClientHeight, kApplicationTitle);
  FWindow->begin();
  // Created in tab order: FLTK moves the focus in the order of the children.
  bnExtract = new TDialogButton(248, 104, 75, 25, kExtractText, bgCheck);
  bnExtract->SetDefault(true);
  bnExit = new TDialogButton(121, 104, 75, 25, kExitText, bgCross);
  bnExit->shortcut(FL_Escape);
  edPath = new Fl_Input(8, 32, 393, 21);
  edPath->textfont(FL_HELVETICA);
  edPath->textsize(kDialogFontSize);
  bnSelectDestPath = new TDialogButton(408, 30, 25, 25, kSelectDestPathText);
  cboverwrite = new Fl_Check_Button(8, 64, 177, 17, kOverwriteText);
  cboverwrite->labelfont(FL_HELVETICA);
  cboverwrite->labelsize(kDialogFontSize);
  cboverwrite->value(0);
  // The label's box is sized for the classic dialog font; a wider sans font
  // runs past it rather than cutting the text.
  Label1 = new TPlainText(8, 8, 116, 13, kLabel1Text, false, false);
  FWindow->end();
  FWindow->xclass("Kelvane-sfx");
  FWindow->resizable(nullptr);
  FWindow->size_range(kClientWidth, kClientHeight, kClientWidth, kClientHeight);
  FNamed = {{bnExtract, "bnExtract", kExtractText},
            {bnExit, "bnExit", kExitText},
            {edPath, "edPath", ""},
            {bnSelectDestPath, "bnSelectDestPath", kSelectDestPathText},
            {cboverwrite, "cboverwrite", kOverwriteText},
            {Label1, "Label1", kLabel1Text}};
  FIcons = MakeWindowIcons();
  std::vector<const Fl_RGB_Image*> icons;
  for (const auto& icon : FIcons)
    icons.push_back(icon.get());
  FWindow->icons(icons.data(), static_cast<int>(icons.size()));
}

TFltkForm1View::~TFltkForm1View() = default;

void TFltkForm1View::OnWidget(Fl_Widget* widget, void* data) {
  auto* self = static_cast<TFltkForm1View*>(data);
  if (!self->FForm) return;
  TForm1& form = *self->FForm;
  if (widget == self->bnExtract) {
    RunHandler([&] { form.bnExtractClick(); });
  } else if (widget == self->bnSelectDestPath) {
    RunHandler([&] { form.bnSelectDestPathClick(); });
  } else {
    // "Salir", Escape and the window's close box.
    RunHandler([&] { form.bnExitClick(); });
  }
}

void TFltkForm1View::Attach(TForm1& form) {
  FForm = &form;
  for (Fl_Widget* w :
       {static_cast<Fl_Widget*>(bnExtract), static_cast<Fl_Widget*>(bnExit),
        static_cast<Fl_Widget*>(bnSelectDestPath), static_cast<Fl_Widget*>(FWindow.get())})
    w->callback(OnWidget, this);
}

void TFltkForm1View::Show() {
  CentreOnScreen(*FWindow);
  FWindow->show();
  bnExtract->take_focus();
}

std::string TFltkForm1View::Describe() const {
  std::string out = std::string("window \"") + FWindow->label() + "\" " +
                    std::to_string(FWindow->w()) + "x" + std::to_string(FWindow->h()) + " " +
                    (FWindow->resizable() == nullptr ? "fixed" : "sizable") + " font " +
                    std::to_string(kDialogFontSize) + "\n";
  int tab = 0;
  for (const TNamed& n : FNamed) {
    Fl_Widget* w = n.Widget;
    out += w->visible_focus() ? std::to_string(tab++) : std::string("-");
    out += std::string(" ") + n.Name + " " + std::to_string(w->x()) + " " + std::to_string(w->y()) +
           " " + std::to_string(w->w()) + " " + std::to_string(w->h()) + " \"" +
           (w == edPath ? std::string(edPath->value()) : n.Text) + "\"";
    if (w == bnExtract && bnExtract->IsDefault()) out += " default";
    if (w == bnExit && bnExit->shortcut() == FL_Escape) out += " cancel";
    if (Fl::focus() == w) out += " focus";
    if (w == cboverwrite) out += cboverwrite->value() ? " checked" : " unchecked";
    out += "\n";
  }
  return out;
}

UString TFltkForm1View::PathText() const {
  return FromUtf8(edPath->value());
}

void TFltkForm1View::SetPathText(const UString& text) {
  edPath->value(ToUtf8(text).c_str());
}

bool TFltkForm1View::OverwriteChecked() const {
  return cboverwrite->value() != 0;
}

void TFltkForm1View::SetOverwriteChecked(bool checked) {
  cboverwrite->value(checked ? 1 : 0);
}

std::optional<UString> TFltkForm1View::BrowseForFolder(const char* title) {
  // No starting folder and no button for new folders; the chooser is modal.
  Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_DIRECTORY);
  chooser.title(title);
  chooser.options(Fl_Native_File_Chooser::NO_OPTIONS);
  if (chooser.show() != 0) return std::nullopt;  // cancelled (1) or failed (-1)
  const char* folder = chooser.filename();
  if (!folder || !*folder) return std::nullopt;
  return FromUtf8(folder);
}

void TFltkForm1View::CloseDialog() {
  FWindow->hide();
}

}  // namespace kelvane
