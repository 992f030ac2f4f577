// AS/400 object queries: the object check, the paged listings of libraries,
// files, journals, journaled files, receivers and record formats, and the
// creation of a file from DDS source.
#include <string_view>
#include <utility>

#include "catalogs/field_listing.h"
#include "catalogs/nt_catalog_text.h"
#include "connection/qvsource.h"
#include "connection/remote_commands.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"

namespace qv {
namespace {

// The most pages a listing may take before the source is taken to loop.
constexpr int kMaxPages = 10000;
// Receiver entries: name, first and last sequence, then three dates of 13
// characters (century digit, YYMMDD, HHMMSS).
constexpr std::size_t kSequenceWidth = 10, kDateWidth = 13;

// Shows a receiver date "CYYMMDDHHMMSS" as "YYYY/MM/DD HH:MM:SS"; a blank
// date shows blank. Throws ListingError for anything else.
std::string ReceiverDate(std::string_view d) {
  if (d.find_first_not_of(' ') == std::string_view::npos) return {};
  bool digits = d.size() == kDateWidth && (d[0] == '0' || d[0] == '1');
  for (char c : d) digits = digits && c >= '0' && c <= '9';
  if (!digits) throw ListingError("SYSLSTRCV_ date \"" + std::string(d) + "\" is not CYYMMDDHHMMSS");
  const std::string s(d);
  return (s[0] == '0' ? "19" : "20") + s.substr(1, 2) + "/" + s.substr(3, 2) + "/" + s.substr(5, 2) + " " +
         s.substr(7, 2) + ":" + s.substr(9, 2) + ":" + s.substr(11, 2);
}

// Splits text at CR LF; a last line without CR LF counts, an empty tail does not.
std::vector<std::string> DdsLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

}  // namespace

QVSource::Lookup QVSource::CheckObject(const std::string& object, const std::string& library,
                                       const std::string& type) {
  RemoteCommand c = CheckObjectCommand(object, library, type);
  if (Src().Execute(c.code, c.ctl, c.data) == 0) {
    QVParamError();
    return Lookup::Failed;
  }
  return ObjectExists(ReplyText(c)) ? Lookup::Found : Lookup::Missing;
}

bool QVSource::ChkObj(const std::string& object, const std::string& library,
                      const std::string& type) {
  // A failed check counts as missing.
  return Guard("ChkObj", [&] { return CheckObject(object, library, type) != Lookup::Found; });
}

bool QVSource::PagedList(const char* code, const std::string& parameters, std::size_t width,
                         const std::function<void(std::string_view)>& take) {
  std::string request = "04096" "0" + parameters;
  for (int page = 0; page < kMaxPages; ++page) {
    std::string reply;
    if (!SendListingPage(code, request, reply)) return false;
    const auto entries = ListingEntries(reply, width, code);
    if (entries.empty()) return true;
    for (std::string_view e : entries) take(e);
    request = "04096" "1";
  }
  throw ListingError(std::string(code) + " listing did not end");
}

bool QVSource::Name10(const std::string& what, const std::string& name, std::string& out) {
  const std::string trimmed = Trim(name);
  if (trimmed.size() > 10) {
    Refuse(what + " name \"" + trimmed + "\" is longer than 10 characters");
    return false;
  }
  out = ObjectName10(trimmed);
  return true;
}

bool QVSource::RefuseNT() {
  Refuse(errorStep_ + " is not served for " + sourceType_ + " sources");
  return false;
}

bool QVSource::AddObjects(platform::ListBox& list, const std::string& library, const std::string& type,
                          const std::string& attribute, int32_t& count) {
  std::string lib;
  if (!Name10("Library", library, lib)) return false;
  const std::string parameters = ObjectName10("*ALL") + lib + ObjectName10(type) + ObjectName10(attribute);
  return PagedList(cmd::kListObjects, parameters, kObjectEntryWidth, [&](std::string_view e) {
    list.AddItem(Trim(e.substr(0, 10)));
    ++count;
  });
}

bool QVSource::TableASExist(const std::string& file, const std::string& library) {
  return Guard("TableASExist", [&] { return CheckObject(file, library, "*FILE") == Lookup::Found; });
}

bool QVSource::fillLIB(platform::ListBox& list, bool refresh, int32_t& count) {
  count = 0;
  if (!ConnectionOpen()) return false;
  return Guard("fillLIB", [&] {
    if (refresh || libraryCache_.empty()) {
      libraryCache_.clear();
      std::vector<std::string> names;
      bool ok = PagedList(cmd::kListObjects,
                          ObjectName10("*ALL") + ObjectName10("QSYS") + ObjectName10("*LIB") + ObjectName10("PROD"),
                          kObjectEntryWidth, [&](std::string_view e) {
                            names.push_back(Trim(e.substr(0, 10)));
                            list.AddItem(names.back());
                            ++count;
                          });
      // Keeps only a complete listing.
      if (ok) libraryCache_ = std::move(names);
      return ok;
    }
    for (const std::string& name : libraryCache_) list.AddItem(name);
    count = static_cast<int32_t>(libraryCache_.size());
    return true;
  });
}

bool QVSource::FillLibraryList(platform::ListBox& list, int32_t& count) {
  count = 0;
  if (!ConnectionOpen()) return false;
  if (!IsAS400())
    return Guard("FillLibraryList", [&] {
      if (sourceType_ != "SQL Server" && sourceType_ != "Oracle") return RefuseNT();
      return ReadNtNames([&](const std::string& name) {
        list.AddItem(name);
        ++count;
      });
    });
  const bool ok = fillLIB(list, false, count);
  Step("FillLibraryList");
  return ok;
}

bool QVSource::FillLIBFile(platform::ListBox& list, const std::string& library, const std::string& fileType,
                           int32_t& count) {
  count = 0;
  if (!ConnectionOpen()) return false;
  return Guard("FillLIBFile", [&] {
    const std::string type = UCase(Trim(fileType));
    if (!type.empty() && type != "PF" && type != "LF") {
      Refuse("File type \"" + Trim(fileType) + "\" is neither PF, LF nor blank");
      return false;
    }
    return AddObjects(list, library, "*FILE", type, count);
  });
}

bool QVSource::FillFileList(platform::ListBox& list, const std::string& library, const std::string& type,
                            const std::string& mask, int32_t& count) {
  count = 0;
  if (!ConnectionOpen()) return false;
  if (!IsAS400())
    return Guard("FillFileList", [&] {
      return ReadNtTables(library, mask, [&](const std::string& name) {
        list.AddItem(name);
        ++count;
      });
    });
  const std::string like = Trim(mask);
  if (like.empty() || like == "%") {
    const bool ok = FillLIBFile(list, library, type, count);
    Step("FillFileList");
    return ok;
  }
  // Lists the whole library, then keeps the names the mask selects.
  platform::ListBox all;
  int32_t listed = 0;
  const bool ok = FillLIBFile(all, library, type, listed);
  Step("FillFileList");
  for (const std::string& name : all.Items())
    if (MatchesMask(name, like)) {
      list.AddItem(name);
      ++count;
    }
  return ok;
}

bool QVSource::FillJournalList(platform::ListBox& list, const std::string& library, int32_t& count) {
  count = 0;
  if (!ConnectionOpen()) return false;
  return Guard("FillJournalList", [&] { return AddObjects(list, library, "*JRN", "", count); });
}

bool QVSource::FillFileListJrnBased(platform::ListBox& list, const std::string& journal,
                                    const std::string& library, int32_t& count) {
  count = 0;
  if (!ConnectionOpen()) return false;
  return Guard("FillFileListJrnBased", [&] {
    std::string jrn, lib;
    if (!Name10("Journal", journal, jrn) || !Name10("Library", library, lib)) return false;
    return PagedList(cmd::kListJournaled, jrn + lib, kJournaledEntryWidth, [&](std::string_view e) {
      list.AddItem(RTrim(e.substr(0, 30)));
      ++count;
    });
  });
}

bool QVSource::LoadRcvList(platform::ListView& lv, const std::string& journal, const std::string& library) {
  if (!ConnectionOpen()) return false;
  return Guard("LoadRcvList", [&] {
    if (!IsAS400()) return RefuseNT();
    std::string jrn, lib;
    if (!Name10("Journal", journal, jrn) || !Name10("Library", library, lib)) return false;
    lv.Clear();
    lv.ClearColumns();
    for (const char* id : {"2098", "2099", "2100", "2101", "2102", "2103"}) lv.AddColumn(cLoadResString(id));
    return PagedList(cmd::kListReceivers, jrn + lib, kReceiverEntryWidth, [&](std::string_view e) {
      const std::string name = Trim(e.substr(0, 10));
      std::size_t at = 10;
      std::vector<std::string> subs;
      for (int i = 0; i < 2; ++i, at += kSequenceWidth) subs.push_back(Trim(e.substr(at, kSequenceWidth)));
      for (int i = 0; i < 3; ++i, at += kDateWidth) subs.push_back(ReceiverDate(e.substr(at, kDateWidth)));
      platform::ListItem& item = lv.Add("RCV_" + name, name);
      for (int i = 0; i < 5; ++i) item.SetSubItem(i + 1, subs[i]);
    });
  });
}

bool QVSource::ListRcd(const std::string& file, const std::string& library, std::vector<std::string>& list) {
  list.clear();
  if (!ConnectionOpen()) return false;
  return Guard("ListRcd", [&] {
    if (!IsAS400()) return RefuseNT();
    std::string fil, lib;
    if (!Name10("File", file, fil) || !Name10("Library", library, lib)) return false;
    return PagedList(cmd::kListFormats, fil + lib, kFormatEntryWidth,
                     [&](std::string_view e) { list.push_back(Trim(ReadRecordFormat(e).name)); });
  });
}

bool QVSource::CreateFile(const std::string& file, const std::string& library, const std::string& dds) {
  if (!ConnectionOpen()) return false;
  return Guard("CreateFile", [&] {
    std::string fil, lib;
    if (!Name10("File", file, fil) || !Name10("Library", library, lib)) return false;
    const std::vector<std::string> lines = DdsLines(dds);
    for (std::size_t i = 0; i < lines.size(); ++i)
      if (lines[i].size() > kDdsLineMax) {
        Refuse("DDS line " + std::to_string(i + 1) + " is longer than " + std::to_string(kDdsLineMax) +
               " characters");
        return false;
      }
    auto send = [&](const char* code, const std::string& request) {
      RemoteCommand c = FrameCommand(code, 4096, request);
      if (Src().Execute(c.code, c.ctl, c.data) != 0) return true;
      QVParamError();
      return false;
    };
    if (!send(cmd::kClearDds, "04096")) return false;
    int32_t h = DllParam::kClosedHandle;
    if (Src().Ropen(kDdsMember, DllParam::kModeMember, h) == 0) {
      QVParamError();
      return false;
    }
    for (const std::string& line : lines) {
      if (Src().Rwrite(h, line, static_cast<int32_t>(line.size())) == 0) {
        QVParamError();
        Src().Rclose(h);
        return false;
      }
    }
    Src().Rclose(h);
    return send(cmd::kCreateDds, "04096" + fil + lib);
  });
}

}  // namespace qv
