// The FLTK window of the run and its message boxes.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_GIF_Image.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xlib.h>

#include <cstdlib>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace cs::platform {
namespace {

// Windows' Arial at 96 dots per inch: 9.75 pt is 13 pixels, 8.25 pt is 11.
constexpr int kLargeFont = 13;
constexpr int kSmallFont = 11;

// CR LF and a lone CR become LF, as FLTK breaks lines only there.
std::string Lines(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A modal box with an icon, the text and its buttons; the first button is the default.
int ShowBox(const std::string& text, const std::string& title, Icon icon, Buttons buttons) {
  const std::string body = Lines(text);
  fl_font(FL_HELVETICA, kLargeFont);
  int tw = 0, th = 0;
  fl_measure(body.c_str(), tw, th, 0);
  const int icon_w = icon == Icon::kNone ? 0 : 50;
  const int w = std::max(300, std::min(900, tw + icon_w + 40));
  const int h = std::max(60, th + 20) + 60;
  Fl_Double_Window box(w, h);
  box.copy_label(title.c_str());
  if (icon != Icon::kNone) {
    auto* mark = new Fl_Box(10, 15, 40, 40, icon == Icon::kCritical ? "X" : "i");
    mark->box(FL_OVAL_BOX);
    mark->color(icon == Icon::kCritical ? FL_RED : FL_BLUE);
    mark->labelcolor(FL_WHITE);
    mark->labelfont(FL_HELVETICA_BOLD);
    mark->labelsize(22);
  }
  auto* message = new Fl_Box(20 + icon_w, 10, w - icon_w - 30, h - 70);
  message->copy_label(body.c_str());
  message->labelfont(FL_HELVETICA);
  message->labelsize(kLargeFont);
  message->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);

  struct Choice {
    const char* name;
    int id;
  };
  const std::vector<Choice> choices =
      buttons == Buttons::kOk ? std::vector<Choice>{{"OK", kIdOk}}
                              : std::vector<Choice>{{"Abort", kIdAbort}, {"Retry", kIdRetry},
                                                    {"Ignore", kIdIgnore}};
  int answer = choices.front().id;
  bool answered = false;
  struct Pressed {
    int* answer;
    bool* answered;
    int id;
  };
  std::vector<std::unique_ptr<Pressed>> pressed;
  int x = w - static_cast<int>(choices.size()) * 90 - 10;
  for (std::size_t i = 0; i < choices.size(); ++i, x += 90) {
    Fl_Button* b = i == 0 ? new Fl_Return_Button(x, h - 45, 80, 30, choices[i].name)
                          : new Fl_Button(x, h - 45, 80, 30, choices[i].name);
    pressed.push_back(std::make_unique<Pressed>(Pressed{&answer, &answered, choices[i].id}));
    b->callback(
        [](Fl_Widget*, void* data) {
          auto* p = static_cast<Pressed*>(data);
          *p->answer = p->id;
          *p->answered = true;
        },
        pressed.back().get());
  }
  box.end();
  box.set_modal();
  box.position((Fl::w() - w) / 2, (Fl::h() - h) / 2);
  box.show();
  // Closing the box counts as its default button.
  while (box.shown() && !answered) Fl::wait();
  box.hide();
  Fl::check();
  return answer;
}

class WindowUi : public Ui {
 public:
  explicit WindowUi(const std::filesystem::path& picture) : window_(497, 393) {
    window_.position((Fl::w() - 497) / 2, (Fl::h() - 393) / 2);
    background_ = new Fl_Box(0, 0, 498, 362);
    // FLTK reports a file it cannot open on the console; a missing picture is told by an empty
    // path and never handed to it.
    if (!picture.empty()) picture_ = std::make_unique<Fl_GIF_Image>(picture.c_str());
    if (picture_ && picture_->w() == 498 && picture_->h() == 362 && picture_->fail() == 0) {
      background_->image(picture_.get());
    } else {
      background_->box(FL_FLAT_BOX);
      background_->color(fl_rgb_color(230, 236, 244));
    }
    lbl_data_ = Label(24, 24, 257, 17, "Processing Ace Data", FL_HELVETICA_BOLD, kLargeFont);
    label1_ = Label(24, 40, 225, 17, "Please Wait...", FL_HELVETICA, kSmallFont);
    lbl_status_ = Label(72, 336, 401, 33, "Validating Files", FL_HELVETICA, kLargeFont);
    window_.end();
  }

  void SetCaption(const std::string& caption) override { window_.copy_label(caption.c_str()); }

  void SetLabel(Label label, const std::string& text) override {
    Fl_Box* box = label == Label::kData ? lbl_data_ : label == Label::kLabel1 ? label1_ : lbl_status_;
    box->copy_label(text.c_str());
    window_.redraw();
  }

  void Show() override {
    window_.show();
    Fl::check();
  }

  void ProcessEvents() override { Fl::check(); }

  int MessageBox(const std::string& text, const std::string& title, Icon icon,
                 Buttons buttons) override {
    return ShowBox(text, title, icon, buttons);
  }

  void RunUntilClosed() override {
    while (window_.shown()) Fl::wait();
  }

 private:
  static Fl_Box* Label(int x, int y, int w, int h, const char* text, Fl_Font font, int size) {
    auto* box = new Fl_Box(x, y, w, h);
    box->copy_label(text);
    box->labelfont(font);
    box->labelsize(size);
    box->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    return box;
  }

  // The picture outlives the window's widgets, which are destroyed with window_.
  std::unique_ptr<Fl_GIF_Image> picture_;
  Fl_Double_Window window_;
  Fl_Box* background_ = nullptr;
  Fl_Box* lbl_data_ = nullptr;
  Fl_Box* label1_ = nullptr;
  Fl_Box* lbl_status_ = nullptr;
};

// Opens the display once and hands that connection to FLTK, which then never opens another: a
// display that accepts one connection and refuses the next (as one that is still starting may)
// cannot end the process later with FLTK's "Can't open display".
bool OpenDisplay() {
  ::Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  fl_open_display(display);
  return true;
}

bool Named(const char* variable) {
  const char* v = std::getenv(variable);
  return v != nullptr && *v != '\0';
}

}  // namespace

std::filesystem::path FindWindowPicture(const FileSystem& files,
                                        const std::filesystem::path& program_dir) {
  constexpr char kName[] = "acefeedpump.gif";
  for (const auto& candidate :
       {program_dir / kName, program_dir / ".." / "share" / "catalogsync" / kName}) {
    if (files.Stat(candidate).kind == FileKind::kRegular) return candidate.lexically_normal();
  }
  return {};
}

std::unique_ptr<Ui> MakeWindowUi(const std::filesystem::path& picture) {
  return std::make_unique<WindowUi>(picture);
}

std::unique_ptr<Ui> MakeUi(std::istream& in, std::ostream& err,
                           const std::filesystem::path& picture) {
  const char* choice = std::getenv("CATALOGSYNC_UI");
  const std::string ui = choice != nullptr ? choice : "";
  const bool window = ui == "window" || (ui.empty() && (Named("DISPLAY") || Named("WAYLAND_DISPLAY")));
  if (window && OpenDisplay()) return MakeWindowUi(picture);
  return std::make_unique<ConsoleUi>(in, err);
}

}  // namespace cs::platform
