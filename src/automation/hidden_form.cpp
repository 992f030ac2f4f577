// The hidden form: the thread's control, its library factory and its end.
#include "automation/hidden_form.h"

#include <mutex>
#include <stdexcept>

#include "dllparam/net/net_client.h"
#include "dllparam/source_library.h"

namespace qv::automation {
namespace {

std::mutex gFactoryLock;
LibraryFactory& Factory() {
  static LibraryFactory factory;
  return factory;
}

// Set once the thread's form slot has been destroyed at thread exit.
// Trivially destructible, so it can still be read by later destructors.
thread_local bool tFormsGone = false;

// Owns the thread's form and destroys it, closing the connection, when the
// thread ends.
struct FormSlot {
  std::unique_ptr<HiddenForm> form;
  ~FormSlot() {
    tFormsGone = true;
    form.reset();
  }
};
thread_local FormSlot tSlot;

}  // namespace

HiddenForm::HiddenForm(std::unique_ptr<QVSource> control)
    : ctl_(std::move(control)), dispatch_(ctl_->Dispatch()) {}

HiddenForm::~HiddenForm() {
  // Releases the dispatch object first; the control detaches it as it goes.
  dispatch_.reset();
  ctl_.reset();
}

HiddenForm& frm() {
  if (tFormsGone) throw std::logic_error("the hidden form of this thread is gone");
  if (!tSlot.form) {
    std::unique_ptr<DllParam> library = MakeLibrary();
    if (!library) throw std::runtime_error("the library factory made no record-access library");
    tSlot.form = std::make_unique<HiddenForm>(std::make_unique<QVSource>(std::move(library)));
  }
  return *tSlot.form;
}

HiddenForm* ExistingForm() { return tFormsGone ? nullptr : tSlot.form.get(); }

void SetLibraryFactory(LibraryFactory factory) {
  std::lock_guard<std::mutex> lock(gFactoryLock);
  Factory() = std::move(factory);
}

std::unique_ptr<DllParam> MakeLibrary() {
  // Source servers see the control's process user and password as the login.
  static std::once_flag loginSource;
  std::call_once(loginSource, [] {
    net::SetLoginSource([] { return net::Login{ProcessUserID(), ProcessPassword()}; });
  });
  LibraryFactory factory;
  {
    std::lock_guard<std::mutex> lock(gFactoryLock);
    factory = Factory();
  }
  return factory ? factory() : MakeSourceLibrary();
}

QVSource& InstallControl(std::unique_ptr<QVSource> control) {
  if (!control) throw std::invalid_argument("no control to install");
  if (tFormsGone) throw std::logic_error("the hidden form of this thread is gone");
  tSlot.form.reset();
  tSlot.form = std::make_unique<HiddenForm>(std::move(control));
  return tSlot.form->ctl();
}

QVSource& InstallLibrary(std::unique_ptr<DllParam> library) {
  return InstallControl(std::make_unique<QVSource>(std::move(library)));
}

void DropForm() {
  if (!tFormsGone) tSlot.form.reset();
}

}  // namespace qv::automation
