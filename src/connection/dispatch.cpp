// Late-bound members of the control: the one table through which the managers
// reach QVSource by name and DISPID.
#include <memory>
#include <type_traits>
#include <utility>

#include "connection/qvsource.h"
#include "platform/control_objects.h"
#include "platform/controls.h"
#include "platform/dispatch.h"

namespace qv {
namespace {

using platform::ArgList;
using platform::DispError;
using platform::DispResult;
using platform::DispStatus;
using platform::DISPID;
using platform::InvokeKind;
using platform::Variant;

constexpr InvokeKind kGet = InvokeKind::PropertyGet;
constexpr InvokeKind kPut = InvokeKind::PropertyPut;
constexpr InvokeKind kCall = InvokeKind::Method;

// Runs an operation on the record text in argument i and writes the text,
// as the operation leaves it, back into the argument (by reference).
template <class Op>
Variant OnRecordArg(ArgList& a, std::size_t i, Op op) {
  std::string record = a.String(i);
  const bool ok = op(record);
  a.Set(i, Variant(std::move(record)));
  return Variant(ok);
}

// Returns the control model M (a list box, list view or tree view) in
// argument i, or refuses the call; what names the model in the refusal.
template <class M>
M& ModelArg(ArgList& a, std::size_t i, const char* member, const char* what) {
  M* model = platform::ModelOf<M>(a[i]);
  if (model == nullptr)
    throw DispError(DispStatus::TypeMismatch,
                    std::string(member) + ": argument " + std::to_string(i + 1) + " is not a " + what,
                    static_cast<int>(i));
  return *model;
}

// Runs a list filler on the list box in argument list and writes the count
// it gives back into argument count (by reference).
template <class Op>
Variant OnList(ArgList& a, std::size_t list, std::size_t count, const char* member, Op op) {
  platform::ListBox& box = ModelArg<platform::ListBox>(a, list, member, "list box");
  int32_t n = 0;
  const bool ok = op(box, n);
  a.Set(count, Variant(n));
  return Variant(ok);
}

// Returns the list view in argument i, or refuses the call.
platform::ListView& ListViewArg(ArgList& a, std::size_t i, const char* member) {
  return ModelArg<platform::ListView>(a, i, member, "list view");
}

// Returns the tree view in argument i, or refuses the call.
platform::TreeView& TreeArg(ArgList& a, std::size_t i, const char* member) {
  return ModelArg<platform::TreeView>(a, i, member, "tree view");
}

// Returns the node of tv that argument i names by its key (a late-bound
// caller holds a node by its key), or refuses the call.
platform::TreeNode& NodeArg(platform::TreeView& tv, ArgList& a, std::size_t i, const char* member) {
  const std::string key = a.String(i);
  platform::TreeNode* node = tv.Find(key);
  if (node == nullptr)
    throw DispError(DispStatus::TypeMismatch,
                    std::string(member) + ": argument " + std::to_string(i + 1) + " names no node (\"" + key + "\")",
                    static_cast<int>(i));
  return *node;
}

// Builds the DISPID of a member: 0x6802GGNN, GG the member's group below, NN
// its number within the group. A property's get and put share one DISPID.
constexpr DISPID Id(int group, int n) { return 0x68020000 | (group << 8) | n; }

// Returns what a refusal calls the control model M.
template <class M>
constexpr const char* ModelName() {
  if constexpr (std::is_same_v<M, platform::TreeView>) return "tree view";
  else if constexpr (std::is_same_v<M, platform::ListView>) return "list view";
  else return "list box";
}

// Calls f with the texts of the arguments from First on, one per index.
template <std::size_t First, class F, std::size_t... I>
bool WithTexts(ArgList& a, F f, std::index_sequence<I...>) {
  return f(a.String(First + I)...);
}

// Returns the row of view member n (group 11) whose procedure takes a control
// model, passed first, and texts after it.
template <class M, class... T>
platform::MemberOf<QVSource> ViewMember(const char* name, int n, bool (QVSource::*procedure)(M&, const T&...)) {
  return {name, Id(11, n), kCall, static_cast<int>(sizeof...(T)) + 1, [name, procedure](QVSource& c, ArgList& a) {
            M& model = ModelArg<M>(a, 0, name, ModelName<M>());
            return Variant(WithTexts<1>(
                a, [&](const auto&... texts) { return (c.*procedure)(model, texts...); },
                std::index_sequence_for<T...>{}));
          }};
}

// Returns the row of a tree procedure that loads a folder: the tree view,
// then the folder's key.
platform::MemberOf<QVSource> FolderMember(const char* name, int n,
                                          bool (QVSource::*load)(platform::TreeView&, platform::TreeNode&)) {
  return {name, Id(11, n), kCall, 2, [name, load](QVSource& c, ArgList& a) {
            platform::TreeView& tv = TreeArg(a, 0, name);
            return Variant((c.*load)(tv, NodeArg(tv, a, 1, name)));
          }};
}

// Returns the row of a tree procedure that adds a node: the tree view, the
// key of the node added (by reference, "" for none), then texts.
template <class... T>
platform::MemberOf<QVSource> NewNodeMember(const char* name, int n,
                                           bool (QVSource::*add)(platform::TreeView&, platform::TreeNode*&,
                                                                 const T&...)) {
  return {name, Id(11, n), kCall, static_cast<int>(sizeof...(T)) + 2, [name, add](QVSource& c, ArgList& a) {
            platform::TreeView& tv = TreeArg(a, 0, name);
            platform::TreeNode* node = nullptr;
            const bool ok = WithTexts<2>(
                a, [&](const auto&... texts) { return (c.*add)(tv, node, texts...); },
                std::index_sequence_for<T...>{});
            a.Set(1, Variant(node != nullptr ? node->Key() : std::string()));
            return Variant(ok);
          }};
}

// Returns the members of the control that callers reach late-bound, one row
// per member and kind: name, DISPID, kind, number of arguments (a put counts
// its value), handler. By-reference arguments are written back with Set;
// object arguments (list views, tree views) are reached with
// platform::ModelOf<ListView>(a[i]).
//
// Groups: 1 error state, 2 connection, 3 users, 4 activity and engine,
// 5 object queries, 6 current selection, 7 configuration store, 8 messages,
// 9 journalisation, 10 transformation programs and end scripts, 11 views
// (supervision, topology tree, list views). To add a member, add its row to
// its group with the next free number.
//
// A DISPID never changes once given: scripts may hold it.
const platform::DispatchTable& ControlTable() {
  static const platform::DispatchTable table = platform::MakeDispatchTable<QVSource>(
      "QVSource",
      {
          // ---- 1. Error state: each get returns the value and clears it.
          {"ErrorText", Id(1, 1), kGet, 0, [](QVSource& c, ArgList&) { return Variant(c.ErrorText()); }},
          {"ErrorNum", Id(1, 2), kGet, 0, [](QVSource& c, ArgList&) { return Variant(c.ErrorNum()); }},
          {"ErrorStep", Id(1, 3), kGet, 0, [](QVSource& c, ArgList&) { return Variant(c.ErrorStep()); }},

          // ---- 2. Source connection.
          {"SourceType", Id(2, 1), kGet, 0,
           [](QVSource& c, ArgList&) { return Variant(c.SourceType()); }},
          {"SourceType", Id(2, 1), kPut, 1,
           [](QVSource& c, ArgList& a) {
             c.SourceType(a.String(0));
             return Variant();
           }},
          {"InstanceName", Id(2, 2), kGet, 0,
           [](QVSource& c, ArgList&) { return Variant(c.InstanceName()); }},
          {"InstanceName", Id(2, 2), kPut, 1,
           [](QVSource& c, ArgList& a) {
             c.InstanceName(a.String(0));
             return Variant();
           }},
          {"OpenConnection", Id(2, 3), kCall, 1,
           [](QVSource& c, ArgList& a) { return Variant(c.OpenConnection(a.String(0))); }},
          {"CloseConnection", Id(2, 4), kCall, 0,
           [](QVSource& c, ArgList&) { return Variant(c.CloseConnection()); }},
          {"ConnectionOpen", Id(2, 5), kGet, 0,
           [](QVSource& c, ArgList&) { return Variant(c.ConnectionOpen()); }},

          // ---- 4. Activity: (env, target, model, block byref, size, action, option).
          {"ReadActivity", Id(4, 1), kCall, 7,
           [](QVSource& c, ArgList& a) {
             std::string block = a.String(3);
             const bool ok = c.ReadActivity(a.String(0), a.String(1), a.String(2), block, a.Long(4),
                                            a.String(5), a.String(6));
             a.Set(3, Variant(std::move(block)));
             return Variant(ok);
           }},

          // ---- 4. Engine: JobRun(job, status byref), StartQV(env, target, model, instance).
          {"JobRun", Id(4, 2), kCall, 2,
           [](QVSource& c, ArgList& a) {
             std::string status = a.String(1);
             const bool ok = c.JobRun(a.String(0), status);
             a.Set(1, Variant(std::move(status)));
             return Variant(ok);
           }},
          {"StartQV", Id(4, 3), kCall, 4,
           [](QVSource& c, ArgList& a) {
             return Variant(c.StartQV(a.String(0), a.String(1), a.String(2), a.String(3)));
           }},

          // ---- 5. Object queries. The fillers take a list box and a count
          // (by reference); ListRcd gives the formats in a list box.
          {"ChkObj", Id(5, 1), kCall, 3,
           [](QVSource& c, ArgList& a) { return Variant(c.ChkObj(a.String(0), a.String(1), a.String(2))); }},
          {"TableASExist", Id(5, 2), kCall, 2,
           [](QVSource& c, ArgList& a) { return Variant(c.TableASExist(a.String(0), a.String(1))); }},
          {"fillLIB", Id(5, 3), kCall, 3,
           [](QVSource& c, ArgList& a) {
             return OnList(a, 0, 2, "fillLIB", [&](platform::ListBox& l, int32_t& n) {
               return c.fillLIB(l, a.Bool(1), n);
             });
           }},
          {"FillLIBFile", Id(5, 4), kCall, 4,
           [](QVSource& c, ArgList& a) {
             return OnList(a, 0, 3, "FillLIBFile", [&](platform::ListBox& l, int32_t& n) {
               return c.FillLIBFile(l, a.String(1), a.String(2), n);
             });
           }},
          {"FillLibraryList", Id(5, 5), kCall, 2,
           [](QVSource& c, ArgList& a) {
             return OnList(a, 0, 1, "FillLibraryList",
                           [&](platform::ListBox& l, int32_t& n) { return c.FillLibraryList(l, n); });
           }},
          {"FillJournalList", Id(5, 6), kCall, 3,
           [](QVSource& c, ArgList& a) {
             return OnList(a, 0, 2, "FillJournalList", [&](platform::ListBox& l, int32_t& n) {
               return c.FillJournalList(l, a.String(1), n);
             });
           }},
          {"FillFileListJrnBased", Id(5, 7), kCall, 4,
           [](QVSource& c, ArgList& a) {
             return OnList(a, 0, 3, "FillFileListJrnBased", [&](platform::ListBox& l, int32_t& n) {
               return c.FillFileListJrnBased(l, a.String(1), a.String(2), n);
             });
           }},
          {"FillFileList", Id(5, 8), kCall, 5,
           [](QVSource& c, ArgList& a) {
             return OnList(a, 0, 4, "FillFileList", [&](platform::ListBox& l, int32_t& n) {
               return c.FillFileList(l, a.String(1), a.String(2), a.String(3), n);
             });
           }},
          {"LoadRcvList", Id(5, 9), kCall, 3,
           [](QVSource& c, ArgList& a) {
             platform::ListView* lv = platform::ModelOf<platform::ListView>(a[0]);
             if (lv == nullptr)
               throw DispError(DispStatus::TypeMismatch, "LoadRcvList: argument 1 is not a list view", 0);
             return Variant(c.LoadRcvList(*lv, a.String(1), a.String(2)));
           }},
          {"ListRcd", Id(5, 10), kCall, 3,
           [](QVSource& c, ArgList& a) {
             platform::ListBox* list = platform::ModelOf<platform::ListBox>(a[2]);
             if (list == nullptr)
               throw DispError(DispStatus::TypeMismatch, "ListRcd: argument 3 is not a list box", 2);
             std::vector<std::string> formats;
             const bool ok = c.ListRcd(a.String(0), a.String(1), formats);
             for (std::string& f : formats) list->AddItem(std::move(f));
             return Variant(ok);
           }},
          {"CreateFile", Id(5, 11), kCall, 3,
           [](QVSource& c, ArgList& a) { return Variant(c.CreateFile(a.String(0), a.String(1), a.String(2))); }},

          // ---- 5. NT catalogs. The fillers take a list box (or tree view)
          // and a count (by reference), as the object queries do.
          {"GetComputerName", Id(5, 12), kCall, 0,
           [](QVSource& c, ArgList&) { return Variant(c.GetComputerName()); }},
          {"FillDSN", Id(5, 13), kCall, 3,
           [](QVSource& c, ArgList& a) {
             return OnList(a, 0, 2, "FillDSN", [&](platform::ListBox& l, int32_t& n) {
               return c.FillDSN(l, a.String(1), n);
             });
           }},
          {"FillDSNList", Id(5, 14), kCall, 2,
           [](QVSource& c, ArgList& a) {
             return OnList(a, 0, 1, "FillDSNList",
                           [&](platform::ListBox& l, int32_t& n) { return c.FillDSNList(l, n); });
           }},
          {"TestDSN", Id(5, 15), kCall, 3,
           [](QVSource& c, ArgList& a) { return Variant(c.TestDSN(a.String(0), a.String(1), a.String(2))); }},
          {"fillDB", Id(5, 16), kCall, 3,
           [](QVSource& c, ArgList& a) {
             return OnList(a, 0, 2, "fillDB",
                           [&](platform::ListBox& l, int32_t& n) { return c.fillDB(l, a.Bool(1), n); });
           }},
          {"FillSCH", Id(5, 17), kCall, 2,
           [](QVSource& c, ArgList& a) {
             return OnList(a, 0, 1, "FillSCH", [&](platform::ListBox& l, int32_t& n) { return c.FillSCH(l, n); });
           }},
          {"FillTBL", Id(5, 18), kCall, 4,
           [](QVSource& c, ArgList& a) {
             return OnList(a, 0, 3, "FillTBL", [&](platform::ListBox& l, int32_t& n) {
               return c.FillTBL(l, a.String(1), a.String(2), n);
             });
           }},
          {"CreateTable", Id(5, 19), kCall, 2,
           [](QVSource& c, ArgList& a) { return Variant(c.CreateTable(a.String(0), a.String(1))); }},
          {"TableNTExist", Id(5, 20), kCall, 1,
           [](QVSource& c, ArgList& a) { return Variant(c.TableNTExist(a.String(0))); }},
          {"LoadDBList", Id(5, 21), kCall, 2,
           [](QVSource& c, ArgList& a) {
             int32_t n = 0;
             const bool ok = c.LoadDBList(TreeArg(a, 0, "LoadDBList"), n);
             a.Set(1, Variant(n));
             return Variant(ok);
           }},
          {"LoadTBLList", Id(5, 22), kCall, 3,
           [](QVSource& c, ArgList& a) {
             int32_t n = 0;
             const bool ok = c.LoadTBLList(TreeArg(a, 0, "LoadTBLList"), a.String(1), n);
             a.Set(2, Variant(n));
             return Variant(ok);
           }},
          {"ClearTBLList", Id(5, 23), kCall, 1,
           [](QVSource& c, ArgList& a) { return Variant(c.ClearTBLList(TreeArg(a, 0, "ClearTBLList"))); }},
          {"WriteServerTxtFile", Id(5, 24), kCall, 2,
           [](QVSource& c, ArgList& a) { return Variant(c.WriteServerTxtFile(a.String(0), a.String(1))); }},

          // ---- 6. Current selection.
          {"env", Id(6, 1), kGet, 0, [](QVSource& c, ArgList&) { return Variant(c.env()); }},
          {"env", Id(6, 1), kPut, 1,
           [](QVSource& c, ArgList& a) {
             c.env(a.String(0));
             return Variant();
           }},
          {"tgt", Id(6, 2), kGet, 0, [](QVSource& c, ArgList&) { return Variant(c.tgt()); }},
          {"tgt", Id(6, 2), kPut, 1,
           [](QVSource& c, ArgList& a) {
             c.tgt(a.String(0));
             return Variant();
           }},
          {"Grp", Id(6, 3), kGet, 0, [](QVSource& c, ArgList&) { return Variant(c.Grp()); }},
          {"Grp", Id(6, 3), kPut, 1,
           [](QVSource& c, ArgList& a) {
             c.Grp(a.String(0));
             return Variant();
           }},
          {"Fic", Id(6, 4), kGet, 0, [](QVSource& c, ArgList&) { return Variant(c.Fic()); }},
          {"Fic", Id(6, 4), kPut, 1,
           [](QVSource& c, ArgList& a) {
             c.Fic(a.String(0));
             return Variant();
           }},

          // ---- 7. Configuration store: the record argument is by reference.
          {"DetailEnvironment", Id(7, 1), kCall, 2,
           [](QVSource& c, ArgList& a) {
             return OnRecordArg(a, 0, [&](std::string& r) { return c.DetailEnvironment(r, a.String(1)); });
           }},
          {"DetailCible", Id(7, 2), kCall, 2,
           [](QVSource& c, ArgList& a) {
             return OnRecordArg(a, 0, [&](std::string& r) { return c.DetailCible(r, a.String(1)); });
           }},
          {"DetailGroup", Id(7, 3), kCall, 2,
           [](QVSource& c, ArgList& a) {
             return OnRecordArg(a, 0, [&](std::string& r) { return c.DetailGroup(r, a.String(1)); });
           }},
          {"DetailGC", Id(7, 4), kCall, 3,
           [](QVSource& c, ArgList& a) {
             return OnRecordArg(a, 2, [&](std::string& r) { return c.DetailGC(a.String(0), a.String(1), r); });
           }},
          {"ChangeGC", Id(7, 5), kCall, 3,
           [](QVSource& c, ArgList& a) {
             return OnRecordArg(a, 2, [&](std::string& r) { return c.ChangeGC(a.String(0), a.String(1), r); });
           }},
          {"AddFile", Id(7, 6), kCall, 2,
           [](QVSource& c, ArgList& a) {
             return OnRecordArg(a, 0, [&](std::string& r) { return c.AddFile(r, a.String(1)); });
           }},
          {"FillFieldListZX", Id(7, 7), kCall, 3,
           [](QVSource& c, ArgList& a) {
             platform::ListView* lv = platform::ModelOf<platform::ListView>(a[0]);
             if (lv == nullptr)
               throw DispError(DispStatus::TypeMismatch, "FillFieldListZX: argument 1 is not a list view", 0);
             return Variant(c.FillFieldListZX(*lv, a.String(1), a.String(2)));
           }},

          // ---- 8. Messages: ReadMSG(first, BuildColumn, list view, filter).
          {"ReadMSG", Id(8, 1), kCall, 4,
           [](QVSource& c, ArgList& a) {
             const bool first = a.Bool(0), buildColumn = a.Bool(1);
             platform::ListView* lv = platform::ModelOf<platform::ListView>(a[2]);
             if (lv == nullptr)
               throw DispError(DispStatus::TypeMismatch, "ReadMSG: argument 3 is not a list view", 2);
             return Variant(c.ReadMSG(first, buildColumn, *lv, a.String(3)));
           }},

          // ---- 10. Transformation programs and end scripts: texts by reference.
          {"ReadPgmTrs", Id(10, 1), kCall, 6,
           [](QVSource& c, ArgList& a) {
             std::string d = a.String(3), i = a.String(4);
             const bool ok = c.ReadPgmTrs(a.String(0), a.String(1), a.String(2), d, i, ListViewArg(a, 5, "ReadPgmTrs"));
             a.Set(3, Variant(std::move(d)));
             a.Set(4, Variant(std::move(i)));
             return Variant(ok);
           }},
          {"GenerateBufO", Id(10, 2), kCall, 5,
           [](QVSource& c, ArgList& a) {
             std::string d = a.String(3), i = a.String(4);
             const bool ok = c.GenerateBufO(a.String(0), a.String(1), ListViewArg(a, 2, "GenerateBufO"), d, i);
             a.Set(3, Variant(std::move(d)));
             a.Set(4, Variant(std::move(i)));
             return Variant(ok);
           }},
          {"WritePgmTrsNT", Id(10, 3), kCall, 6,
           [](QVSource& c, ArgList& a) {
             return Variant(c.WritePgmTrsNT(a.String(0), a.String(1), a.String(2), a.String(3), a.String(4),
                                            ListViewArg(a, 5, "WritePgmTrsNT")));
           }},
          {"WritePgmTrsAS", Id(10, 4), kCall, 7,
           [](QVSource& c, ArgList& a) {
             std::string mi = a.String(5);
             const bool ok = c.WritePgmTrsAS(a.String(0), a.String(1), a.String(2), a.String(3), a.String(4), mi,
                                             a.Long(6));
             a.Set(5, Variant(std::move(mi)));
             return Variant(ok);
           }},
          {"Read_QVEND", Id(10, 5), kCall, 5,
           [](QVSource& c, ArgList& a) {
             std::string script = a.String(4);
             const bool ok = c.Read_QVEND(a.String(0), a.String(1), a.String(2), a.String(3), script);
             a.Set(4, Variant(std::move(script)));
             return Variant(ok);
           }},
          {"Write_ENQV", Id(10, 6), kCall, 5,
           [](QVSource& c, ArgList& a) {
             return Variant(c.Write_ENQV(a.String(0), a.String(1), a.String(2), a.String(3), a.String(4)));
           }},
          // ---- 9. Journalisation. The journal directory of the creations is
          // by reference (trimmed, a backslash appended); so is ReadJrnTable's path.
          {"szSQLServerVersion", Id(9, 1), kCall, 0,
           [](QVSource& c, ArgList&) { return Variant(c.szSQLServerVersion()); }},
          {"SQL_dbIsJournalised", Id(9, 2), kCall, 1,
           [](QVSource& c, ArgList& a) { return Variant(c.SQL_dbIsJournalised(a.String(0))); }},
          {"SQL_GetJrnFullPathName", Id(9, 3), kCall, 1,
           [](QVSource& c, ArgList& a) { return Variant(c.SQL_GetJrnFullPathName(a.String(0))); }},
          {"SQL_CRTJRN", Id(9, 4), kCall, 2,
           [](QVSource& c, ArgList& a) {
             return OnRecordArg(a, 1, [&](std::string& d) { return c.SQL_CRTJRN(a.String(0), d); });
           }},
          {"SQL_RMVJRN", Id(9, 5), kCall, 1,
           [](QVSource& c, ArgList& a) { return Variant(c.SQL_RMVJRN(a.String(0))); }},
          {"SQL_STRJRNPF", Id(9, 6), kCall, 2,
           [](QVSource& c, ArgList& a) { return Variant(c.SQL_STRJRNPF(a.String(0), a.String(1))); }},
          {"SQL_ENDJRNPF", Id(9, 7), kCall, 2,
           [](QVSource& c, ArgList& a) { return Variant(c.SQL_ENDJRNPF(a.String(0), a.String(1))); }},
          {"ENDJRNPF", Id(9, 8), kCall, 2,
           [](QVSource& c, ArgList& a) { return Variant(c.ENDJRNPF(a.String(0), a.String(1))); }},
          {"IsSqlJrn", Id(9, 9), kCall, 2,
           [](QVSource& c, ArgList& a) { return Variant(c.IsSqlJrn(a.String(0), a.String(1))); }},
          {"IsFileJournalised", Id(9, 10), kCall, 2,
           [](QVSource& c, ArgList& a) { return Variant(c.IsFileJournalised(a.String(0), a.String(1))); }},
          {"ReadJrnTable", Id(9, 11), kCall, 2,
           [](QVSource& c, ArgList& a) {
             return OnRecordArg(a, 1, [&](std::string& p) { return c.ReadJrnTable(a.String(0), p); });
           }},
          {"ORACLE_CRTJRN", Id(9, 12), kCall, 2,
           [](QVSource& c, ArgList& a) {
             return OnRecordArg(a, 1, [&](std::string& d) { return c.ORACLE_CRTJRN(a.String(0), d); });
           }},
          {"ORACLE_DBIsJournalised", Id(9, 13), kCall, 1,
           [](QVSource& c, ArgList& a) { return Variant(c.ORACLE_DBIsJournalised(a.String(0))); }},
          {"ORACLE_GetJrnFullPathName", Id(9, 14), kCall, 1,
           [](QVSource& c, ArgList& a) { return Variant(c.ORACLE_GetJrnFullPathName(a.String(0))); }},
          {"ORACLE_RMVJRN", Id(9, 15), kCall, 1,
           [](QVSource& c, ArgList& a) { return Variant(c.ORACLE_RMVJRN(a.String(0))); }},
          {"ORACLE_STRJRNPF", Id(9, 16), kCall, 3,
           [](QVSource& c, ArgList& a) {
             platform::ListView* lv = platform::ModelOf<platform::ListView>(a[0]);
             if (lv == nullptr)
               throw DispError(DispStatus::TypeMismatch, "ORACLE_STRJRNPF: argument 1 is not a list view", 0);
             return Variant(c.ORACLE_STRJRNPF(*lv, a.String(1), a.String(2)));
           }},
          {"ORACLE_DropTblTriggered", Id(9, 17), kCall, 2,
           [](QVSource& c, ArgList& a) { return Variant(c.ORACLE_DropTblTriggered(a.String(0), a.String(1))); }},
          {"isOracleJrn", Id(9, 18), kCall, 2,
           [](QVSource& c, ArgList& a) { return Variant(c.isOracleJrn(a.String(0), a.String(1))); }},
          {"ORACLE_CaptureTable", Id(9, 19), kCall, 2,
           [](QVSource& c, ArgList& a) { return Variant(c.ORACLE_CaptureTable(a.String(0), a.String(1))); }},

          // ---- 11. Views. Tree views, list views and list boxes are passed as
          // objects; a tree node is named by its key, and the Add procedures
          // give back the key of the node they added ("" for none).
          {"ReadStateGC", Id(11, 1), kCall, 4,
           [](QVSource& c, ArgList& a) {
             return OnRecordArg(a, 3, [&](std::string& state) {
               return c.ReadStateGC(a.String(0), a.String(1), a.String(2), state);
             });
           }},
          {"Read_Spv", Id(11, 2), kCall, 2,
           [](QVSource& c, ArgList& a) { return Variant(c.Read_Spv(ListViewArg(a, 0, "Read_Spv"), a.Bool(1))); }},
          ViewMember("LoadTree", 3, &QVSource::LoadTree),
          FolderMember("LoadGCInTree", 4, &QVSource::LoadGCInTree),
          FolderMember("LoadFCInTree", 5, &QVSource::LoadFCInTree),
          FolderMember("LoadFileInTree", 6, &QVSource::LoadFileInTree),
          NewNodeMember("AddCibleInTree", 7, &QVSource::AddCibleInTree),
          NewNodeMember("AddGroupInTree", 8, &QVSource::AddGroupInTree),
          NewNodeMember("AddGCInTree", 9, &QVSource::AddGCInTree),
          ViewMember("AddFCInTree", 10, &QVSource::AddFCInTree),
          ViewMember("AddFileInTree", 11, &QVSource::AddFileInTree),
          ViewMember("DeleteCibleInTree", 12, &QVSource::DeleteCibleInTree),
          ViewMember("DeleteGroupInTree", 13, &QVSource::DeleteGroupInTree),
          ViewMember("DeleteGCInTree", 14, &QVSource::DeleteGCInTree),
          ViewMember("DeleteFCInTree", 15, &QVSource::DeleteFCInTree),
          ViewMember("DeleteFileInTree", 16, &QVSource::DeleteFileInTree),
          ViewMember("ChangeCibleInTree", 17, &QVSource::ChangeCibleInTree),
          ViewMember("ChangeGroupInTree", 18, &QVSource::ChangeGroupInTree),
          ViewMember("ChangeAllGCInTree", 19, &QVSource::ChangeAllGCInTree),
          ViewMember("ChangeAllFCInTree", 20, &QVSource::ChangeAllFCInTree),
          ViewMember("ChangeFileInTree", 21, &QVSource::ChangeFileInTree),
          ViewMember("LoadCibleInList", 22, &QVSource::LoadCibleInList),
          ViewMember("AddCibleInList", 23, &QVSource::AddCibleInList),
          ViewMember("ChangeCibleInList", 24, &QVSource::ChangeCibleInList),
          ViewMember("DeleteCibleInList", 25, &QVSource::DeleteCibleInList),
          ViewMember("HoldReleaseCibleInList", 26, &QVSource::HoldReleaseCibleInList),
          ViewMember("LoadGCInList", 27, &QVSource::LoadGCInList),
          ViewMember("AddGCInList", 28, &QVSource::AddGCInList),
          ViewMember("ChangeGCInList", 29, &QVSource::ChangeGCInList),
          ViewMember("DeleteGCInList", 30, &QVSource::DeleteGCInList),
          ViewMember("HoldReleaseGCInList", 31, &QVSource::HoldReleaseGCInList),
          ViewMember("LoadGroupInList", 32, &QVSource::LoadGroupInList),
          ViewMember("AddGroupInList", 33, &QVSource::AddGroupInList),
          ViewMember("ChangeGroupInList", 34, &QVSource::ChangeGroupInList),
          ViewMember("DeleteGroupInList", 35, &QVSource::DeleteGroupInList),
          ViewMember("LoadFCInList", 36, &QVSource::LoadFCInList),
          ViewMember("AddFCInList", 37, &QVSource::AddFCInList),
          ViewMember("ChangeFCInList", 38, &QVSource::ChangeFCInList),
          ViewMember("DeleteFCInList", 39, &QVSource::DeleteFCInList),
          ViewMember("HoldReleaseFCInList", 40, &QVSource::HoldReleaseFCInList),
          ViewMember("LoadFileInList", 41, &QVSource::LoadFileInList),
          ViewMember("AddFileInList", 42, &QVSource::AddFileInList),
          ViewMember("ChangeFileInList", 43, &QVSource::ChangeFileInList),
          ViewMember("DeleteFileInList", 44, &QVSource::DeleteFileInList),
          ViewMember("HoldReleaseFXInList", 45, &QVSource::HoldReleaseFXInList),
          ViewMember("LoadZXInList", 46, &QVSource::LoadZXInList),
          ViewMember("AddZXInList", 47, &QVSource::AddZXInList),
          ViewMember("ChangeZXInList", 48, &QVSource::ChangeZXInList),
          ViewMember("DeleteZXInList", 49, &QVSource::DeleteZXInList),
          ViewMember("LoadZX_ZC_InList", 50, &QVSource::LoadZX_ZC_InList),
          ViewMember("AddZX_ZC_InList", 51, &QVSource::AddZX_ZC_InList),
          ViewMember("FillCibleNonDistList", 52, &QVSource::FillCibleNonDistList),
          ViewMember("FillGroupNonDistList", 53, &QVSource::FillGroupNonDistList),
          ViewMember("FillFXList", 54, &QVSource::FillFXList),
          ViewMember("FillFXnoFCList", 55, &QVSource::FillFXnoFCList),
          ViewMember("FillEnvironmentList", 56, &QVSource::FillEnvironmentList),
      });
  return table;
}

// The dispatch object handed to callers. It points back at its control and
// never keeps it alive; once the control is gone every call fails.
class ControlDispatch final : public platform::IDispatch {
 public:
  explicit ControlDispatch(QVSource& control) : control_(&control) {}

  DISPID GetIDsOfNames(std::string_view name) const override { return ControlTable().IdOf(name); }
  DispResult Invoke(DISPID id, InvokeKind kind, platform::Args args) override {
    if (control_ == nullptr)
      return DispResult::Error(DispStatus::Exception, "QVSource: the control no longer exists");
    return ControlTable().Invoke(control_, id, kind, args);
  }
  std::string_view ClassName() const override { return ControlTable().className(); }

  void Detach() { control_ = nullptr; }

 private:
  QVSource* control_;
};

// Held by the control alone: when the control goes away it drops the anchor,
// which detaches the dispatch object that callers may still hold.
class DispatchAnchor final : public platform::IDispatch {
 public:
  explicit DispatchAnchor(QVSource& control) : object_(std::make_shared<ControlDispatch>(control)) {}
  ~DispatchAnchor() override { object_->Detach(); }

  const std::shared_ptr<ControlDispatch>& object() const { return object_; }

  DISPID GetIDsOfNames(std::string_view name) const override { return object_->GetIDsOfNames(name); }
  DispResult Invoke(DISPID id, InvokeKind kind, platform::Args args) override {
    return object_->Invoke(id, kind, args);
  }
  std::string_view ClassName() const override { return object_->ClassName(); }

 private:
  std::shared_ptr<ControlDispatch> object_;
};

}  // namespace

std::shared_ptr<platform::IDispatch> QVSource::Dispatch() {
  if (!dispatch_) dispatch_ = std::make_shared<DispatchAnchor>(*this);
  return static_cast<DispatchAnchor&>(*dispatch_).object();
}

}  // namespace qv
