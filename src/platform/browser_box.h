#pragma once

#include <gtk/gtk.h>

#include <string>
#include <string_view>

#include "platform/backend.h"

// The browser box: one WebKitGTK view inside a program window.
namespace xm {

class BrowserBox {
 public:
  // Makes the view with the box's settings and, when its address is not empty, starts loading it.
  explicit BrowserBox(const UnitState& settings);
  ~BrowserBox();
  BrowserBox(const BrowserBox&) = delete;
  BrowserBox& operator=(const BrowserBox&) = delete;

  GtkWidget* widget() const { return view_; }
  void Navigate(std::string_view cp936);
  std::string Url() const;
  void Command(int command);

  // Closes the windows that pages opened for themselves.
  static void CloseEngineWindows();

 private:
  static void OnWebProcessTerminated(GtkWidget* view, int reason, BrowserBox* self);
  static gboolean OnInitialLoad(BrowserBox* self);

  GtkWidget* view_;
  std::string last_url_;  // code page 936
  bool web_process_gone_ = false;
  guint initial_load_ = 0;  // the pending first load of the stored address
};

}  // namespace xm
