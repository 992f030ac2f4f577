// The JSON-lines automation host.
#include "qvmgr/automation_host.h"

#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/control_objects.h"
#include "platform/create_object.h"
#include "platform/registry.h"
#include "platform/encoding.h"
#include "presentation/strutil.h"
#include "qvmgr/output.h"
#include "qvmgr/library_path.h"
#include "qvmgr/variant_json.h"

namespace qv::cli {
namespace {

using platform::DispResult;
using platform::DispStatus;
using platform::ObjectPtr;
using platform::Variant;

// A failed request: status name, code and text, with the argument at fault.
struct RequestError {
  std::string status;
  std::int32_t code = 0;
  std::string text;
  int arg = -1;
};

RequestError BadRequest(std::string text) {
  return RequestError{"BadRequest", platform::StatusCode(DispStatus::Exception), std::move(text), -1};
}

class Host {
 public:
  Host(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  ~Host() {
    // Managers go first so that each closes its connection while the rest lives.
    objects_.clear();
  }

  void Handle(const std::string& line, long lineNumber) {
    Json request;
    try {
      request = Json::parse(line);
    } catch (const Json::exception& e) {
      // Also a number beyond a double: the line is refused, the session goes on.
      Answer(Json(), RequestError{"MalformedJson", platform::StatusCode(DispStatus::Exception),
                                  std::string("malformed JSON: ") + e.what()},
             lineNumber);
      return;
    }
    const Json id = request.is_object() && request.contains("id") ? request["id"] : Json();
    try {
      if (!request.is_object()) throw BadRequest("a request is a JSON object");
      Json answer;
      if (request.contains("create"))
        answer = Create(request);
      else if (request.contains("read"))
        answer = Read(request);
      else if (request.contains("release"))
        answer = Release(request);
      else if (request.contains("object"))
        answer = Call(request);
      else
        throw BadRequest("a request names \"create\", \"object\", \"read\" or \"release\"");
      Json full = Json::object();
      if (!id.is_null()) full["id"] = id;
      full["ok"] = true;
      for (const auto& item : answer.items()) full[item.key()] = item.value();
      Write(full);
    } catch (const RequestError& e) {
      Answer(id, e, lineNumber);
    } catch (const std::exception& e) {
      Answer(id, RequestError{"Exception", platform::StatusCode(DispStatus::Exception), e.what()}, lineNumber);
    }
  }

 private:
  void Answer(const Json& id, const RequestError& e, long lineNumber) {
    Json full = Json::object();
    if (!id.is_null()) full["id"] = id;
    full["ok"] = false;
    Json error{{"status", e.status}, {"code", e.code}, {"text", e.text}};
    if (e.arg >= 0) error["arg"] = e.arg;
    full["error"] = error;
    full["line"] = lineNumber;
    Write(full);
  }

  void Write(const Json& doc) {
    out_ << MaskedJson(doc).dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
    out_.flush();
  }

  static std::string NameOf(const Json& request, const char* key) {
    const Json& v = request[key];
    if (!v.is_string() || v.get<std::string>().empty())
      throw BadRequest(std::string("\"") + key + "\" takes a name");
    return v.get<std::string>();
  }

  std::string OptionalAs(const Json& request) {
    if (!request.contains("as")) return {};
    return NameOf(request, "as");
  }

  ObjectPtr Find(const std::string& name) const {
    auto it = objects_.find(name);
    return it == objects_.end() ? nullptr : it->second;
  }

  ObjectPtr Named(const std::string& name) const {
    ObjectPtr object = Find(name);
    if (!object) throw RequestError{"UnknownObject", platform::StatusCode(DispStatus::Exception),
                                    "no object named \"" + name + "\"", -1};
    return object;
  }

  // Returns the name of an object: the wanted one (which it then takes),
  // else the name it already has, else a new name objN.
  std::string Name(const ObjectPtr& object, const std::string& wanted = {}) {
    if (!wanted.empty()) {
      objects_[wanted] = object;
      return wanted;
    }
    for (const auto& [name, held] : objects_)
      if (held == object) return name;
    std::string name;
    do {
      name = "obj" + std::to_string(++counter_);
    } while (Find(name));
    objects_[name] = object;
    return name;
  }

  // Registers the shipped library when a ProgID of it is not registered yet.
  void EnsureRegistered(const std::string& progId) {
    constexpr std::string_view kLibraryPrefix = "QVmgr_dll.";
    if (!platform::EqualsNoCase(std::string_view(progId).substr(0, kLibraryPrefix.size()), kLibraryPrefix)) return;
    std::string error;
    if (platform::LookupProgId(progId, error)) return;
    const LibraryLookup found = FindShippedLibrary();
    if (found.path.empty()) return;
    const platform::Status s = platform::RegisterLibrary(found.path);
    if (s.ok())
      err_ << "qvmgr: registered " << found.path << " in " << platform::RegistryPath() << "\n";
    else
      err_ << "qvmgr: " << s.error << "\n";
  }

  Json Create(const Json& request) {
    if (!request["create"].is_string()) throw BadRequest("\"create\" takes a ProgID");
    const std::string progId = request["create"].get<std::string>();
    const std::string as = OptionalAs(request);
    ObjectPtr object;
    if (platform::EqualsNoCase(progId, "ListView")) {
      object = std::make_shared<platform::ListViewObject>();
    } else if (platform::EqualsNoCase(progId, "TreeView")) {
      object = std::make_shared<platform::TreeViewObject>();
    } else if (platform::EqualsNoCase(progId, "ListBox")) {
      object = std::make_shared<platform::ListBoxObject>();
    } else {
      EnsureRegistered(progId);
      platform::CreateResult created = platform::CreateObject(progId);
      if (!created.ok())
        throw RequestError{"CannotCreate", platform::StatusCode(DispStatus::Exception), created.error, -1};
      object = created.object;
    }
    const std::string name = Name(object, as);
    return Json{{"object", name}, {"class", std::string(object->ClassName())}};
  }

  Json Read(const Json& request) {
    const std::string name = NameOf(request, "read");
    ObjectPtr object = Named(name);
    std::string json;
    if (auto* lv = dynamic_cast<platform::ListViewObject*>(object.get()))
      json = lv->model().ToJson();
    else if (auto* tv = dynamic_cast<platform::TreeViewObject*>(object.get()))
      json = tv->model().ToJson();
    else if (auto* lb = dynamic_cast<platform::ListBoxObject*>(object.get()))
      json = lb->model().ToJson();
    else
      throw BadRequest("\"" + name + "\" is a " + std::string(object->ClassName()) +
                       ", not a list view, tree view or list box of this host");
    return Json{{"object", name}, {"value", Json::parse(json)}};
  }

  Json Release(const Json& request) {
    const std::string name = NameOf(request, "release");
    Named(name);
    objects_.erase(name);
    return Json{{"released", name}};
  }

  static platform::DISPID DispidOf(const Json& value) {
    if (value.is_number_integer()) {
      const std::int64_t n = value.get<std::int64_t>();
      if (n >= INT32_MIN && n <= UINT32_MAX) return static_cast<platform::DISPID>(static_cast<std::uint32_t>(n));
    } else if (value.is_string()) {
      const std::string s = value.get<std::string>();
      try {
        std::size_t used = 0;
        const unsigned long long n = std::stoull(s, &used, 0);
        if (used == s.size() && n <= UINT32_MAX) return static_cast<platform::DISPID>(static_cast<std::uint32_t>(n));
      } catch (const std::exception&) {
      }
    }
    throw BadRequest("\"dispid\" takes a number (or a text such as \"0x6003001C\")");
  }

  Json Call(const Json& request) {
    const std::string objectName = NameOf(request, "object");
    ObjectPtr object = Named(objectName);
    const bool byName = request.contains("member"), byId = request.contains("dispid");
    if (byName == byId) throw BadRequest("a call names either \"member\" or \"dispid\"");
    platform::DISPID id = platform::kDispidUnknown;
    std::string member;
    if (byName) {
      if (!request["member"].is_string()) throw BadRequest("\"member\" takes a name");
      member = request["member"].get<std::string>();
      id = object->GetIDsOfNames(member);
      if (id == platform::kDispidUnknown)
        throw RequestError{std::string(platform::StatusName(DispStatus::UnknownName)),
                           platform::StatusCode(DispStatus::UnknownName),
                           std::string(object->ClassName()) + " has no member " + member, -1};
    } else {
      id = DispidOf(request["dispid"]);
    }
    platform::InvokeKind kind = platform::InvokeKind::Method;
    if (request.contains("kind")) {
      const Json& k = request["kind"];
      std::optional<platform::InvokeKind> parsed =
          k.is_string() ? platform::InvokeKindFromName(k.get<std::string>()) : std::nullopt;
      if (!parsed) throw BadRequest("\"kind\" takes \"method\", \"get\", \"put\" or \"putref\"");
      kind = *parsed;
    }
    std::vector<Variant> args;
    if (request.contains("args")) {
      const Json& list = request["args"];
      if (!list.is_array()) throw BadRequest("\"args\" takes an array");
      for (std::size_t i = 0; i < list.size(); ++i) {
        try {
          args.push_back(VariantFromJson(list[i], [this](const std::string& n) { return Find(n); }));
        } catch (const ArgumentError& e) {
          throw RequestError{std::string(platform::StatusName(DispStatus::TypeMismatch)),
                             platform::StatusCode(DispStatus::TypeMismatch),
                             "argument " + std::to_string(i + 1) + ": " + e.what(), static_cast<int>(i)};
        }
      }
    }
    const std::string as = OptionalAs(request);

    const DispResult r = object->Invoke(id, kind, args);
    if (!r.ok())
      throw RequestError{std::string(platform::StatusName(r.status)), platform::StatusCode(r.status),
                         Cp1252ToUtf8(r.text), r.argIndex};

    Json answer = Json::object();
    const ObjectPtr* resultObject = r.value.Get<ObjectPtr>();
    if (resultObject != nullptr && *resultObject) {
      const std::string name = Name(*resultObject, as);
      answer["result"] = Json{{"object", name}, {"class", std::string((*resultObject)->ClassName())}};
    } else {
      answer["result"] = JsonFromVariant(r.value, [this](const ObjectPtr& o) { return Name(o); });
    }
    answer["type"] = std::string(platform::TypeName(r.value.type()));
    Json after = Json::array();
    for (const Variant& v : args) after.push_back(JsonFromVariant(v, [this](const ObjectPtr& o) { return Name(o); }));
    answer["args"] = after;
    if (IsSecretMember(*object, id)) HideTexts(answer);
    return answer;
  }

  // True when the member called is a password of the object (Password,
  // SourcePWD): its values never come back in an answer.
  static bool IsSecretMember(platform::IDispatch& object, platform::DISPID id) {
    for (const char* name : {"Password", "SourcePWD"})
      if (object.GetIDsOfNames(name) == id) return true;
    return false;
  }

  // Puts kMaskedPassword in place of every text of the answer's result and
  // arguments that is not empty.
  static void HideTexts(Json& answer) {
    auto hide = [](Json& v) {
      if (v.is_string() && !v.get<std::string>().empty()) v = std::string(kMaskedPassword);
    };
    hide(answer["result"]);
    for (Json& v : answer["args"]) hide(v);
  }

  std::ostream& out_;
  std::ostream& err_;
  std::map<std::string, ObjectPtr> objects_;
  long counter_ = 0;
};

}  // namespace

int RunAutomationHost(std::istream& in, std::ostream& out, std::ostream& err) {
  Host host(out, err);
  std::string line;
  long number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    host.Handle(line, number);
  }
  return 0;
}

}  // namespace qv::cli
