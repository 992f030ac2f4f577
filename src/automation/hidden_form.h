// The hidden form that holds the control: one per thread, created on first
// use, shared by every manager of that thread. Its control works through a
// record-access library made by the library factory (the source library,
// traced when QV_TRACE names a file). The form closes the connection when the
// thread ends.
//
// The forms belong to the module that holds this code: a host that links the
// classes directly and also loads QVmgr_dll has, on each thread, one form of
// its own and one of the library, each with its own connection, just as each
// keeps its own class table, object count, clock and prompter.
//
// Tests put a control on a library of their own on the current thread:
//
//   auto fake = std::make_unique<test::RecordingFake>();
//   test::RecordingFake& f = *fake;
//   automation::InstallLibrary(std::move(fake));   // managers of this thread use it
//   ...
//   automation::DropForm();                         // the next use builds a default one
#pragma once

#include <functional>
#include <memory>

#include "connection/dllparam.h"
#include "connection/qvsource.h"
#include "platform/dispatch.h"

namespace qv::automation {

// Makes the record-access library of a new control.
using LibraryFactory = std::function<std::unique_ptr<DllParam>()>;

class HiddenForm {
 public:
  explicit HiddenForm(std::unique_ptr<QVSource> control);
  // Closes the connection when it is open.
  ~HiddenForm();
  HiddenForm(const HiddenForm&) = delete;
  HiddenForm& operator=(const HiddenForm&) = delete;

  // The control, reached directly (hosts, tests) ...
  QVSource& ctl() { return *ctl_; }
  // ... or late-bound, as the managers reach it.
  platform::IDispatch& Dispatch() { return *dispatch_; }

 private:
  std::unique_ptr<QVSource> ctl_;
  std::shared_ptr<platform::IDispatch> dispatch_;
};

// Returns this thread's form, creating it and its control on first use.
// Throws std::logic_error when called while the thread's forms are being
// destroyed at thread exit, std::runtime_error when the factory gives no
// library.
HiddenForm& frm();
// Returns this thread's form when it exists, else nullptr; never creates one.
HiddenForm* ExistingForm();

// Sets the factory of the libraries of controls created from now on, on any
// thread; an empty function restores the default (MakeSourceLibrary).
void SetLibraryFactory(LibraryFactory factory);
// Returns a library from the current factory.
std::unique_ptr<DllParam> MakeLibrary();

// Puts control on this thread's form, in place of the control there (whose
// connection is closed). Returns the installed control. Throws
// std::invalid_argument for a null control.
QVSource& InstallControl(std::unique_ptr<QVSource> control);
// Installs a new control working through library.
QVSource& InstallLibrary(std::unique_ptr<DllParam> library);
// Destroys this thread's form (closing its connection); the next use
// creates a new one.
void DropForm();

}  // namespace qv::automation
