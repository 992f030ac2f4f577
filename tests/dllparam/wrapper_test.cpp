// Checks the generic path of the record-access library: every operation of
// the list reaches the wrapped library as the same member with the same
// arguments, passes once through the wrapper's hook, and a member that a
// wrapper overrides still goes through the hook.
#include "connection/dllparam_wrapper.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/recording_fake.h"

namespace qv {
namespace {

using test::RecordingFake;

// Notes the name and the arguments of every call its hook sees.
class Noting : public DllParamWrapper {
 public:
  using DllParamWrapper::DllParamWrapper;

  std::vector<std::string> seen;

 protected:
  int32_t Around(const DllParamCall& call, dllparam::RunRef run) override {
    std::string line = call.name();
    for (std::size_t i = 0; i < call.size(); ++i)
      line += " " + (dllparam::IsNumeric(call.kind(i)) ? std::to_string(call.Number(i)) : call.Text(i));
    seen.push_back(line);
    return run();
  }
};

// Arguments for one call of an operation, each told apart from the others:
// number i is 100 + i, text i is "arg<i>".
struct Arguments {
  explicit Arguments(const dllparam::Operation& op) {
    for (std::size_t i = 0; i < op.params.size(); ++i) {
      numbers[i] = 100 + static_cast<int32_t>(i);
      texts[i] = "arg" + std::to_string(i);
      at[i] = dllparam::IsNumeric(op.params[i].kind) ? static_cast<void*>(&numbers[i])
                                                      : static_cast<void*>(&texts[i]);
    }
  }
  int32_t numbers[dllparam::kMaxArgs] = {};
  std::string texts[dllparam::kMaxArgs];
  void* at[dllparam::kMaxArgs] = {};
};

TEST(DllParamWrapper, PassesEveryOperationToItsTargetWithItsArguments) {
  RecordingFake fake;
  fake.SetStrict(false);
  Noting wrapper(fake);
  for (const dllparam::Operation& op : dllparam::Operations()) {
    SCOPED_TRACE(op.name);
    Arguments args(op);
    const std::size_t recorded = fake.Calls().size();
    const int queries = fake.ErrorQueries();
    DllParamCall(op.op, std::span<void* const>(args.at, op.params.size())).RunOn(wrapper);

    std::vector<std::string> values;
    for (std::size_t i = 0; i < op.params.size(); ++i)
      values.push_back(dllparam::IsNumeric(op.params[i].kind) ? std::to_string(100 + i) : "arg" + std::to_string(i));
    std::string expected = op.name;
    for (const std::string& v : values) expected += " " + v;
    // The hook sees the call before it runs, once.
    ASSERT_EQ(wrapper.seen.size(), 1u);
    EXPECT_EQ(wrapper.seen.back(), expected);
    wrapper.seen.clear();

    if (op.op == DllParamOp::GetLastError) {
      EXPECT_EQ(fake.ErrorQueries(), queries + 1);
      continue;
    }
    ASSERT_EQ(fake.Calls().size(), recorded + 1);
    EXPECT_EQ(fake.Calls().back().op, op.name);
    EXPECT_EQ(fake.Calls().back().args, values);
  }
}

// Answers Execute itself, through the hook, and passes everything else on.
class AnsweringExecute : public Noting {
 public:
  using Noting::Noting;
  int32_t Execute(std::string& code, std::string& ctl, std::string& data) override {
    return Around(DllParamCall::Of<DllParamOp::Execute>(code, ctl, data), [&] {
      dllparam::PutInBuffer(data, "00000");
      return 7;
    });
  }
};

TEST(DllParamWrapper, AnOverridingMemberStillPassesThroughTheHook) {
  auto owned = std::make_unique<RecordingFake>();
  RecordingFake& fake = *owned;
  AnsweringExecute wrapper(std::move(owned));
  std::string code = "RCMD      ", ctl = "0000000010", data(10, ' ');
  EXPECT_EQ(wrapper.Execute(code, ctl, data), 7);
  EXPECT_EQ(data.substr(0, 5), "00000");
  EXPECT_EQ(fake.CallCount("Execute"), 0);
  ASSERT_EQ(wrapper.seen.size(), 1u);
  EXPECT_EQ(wrapper.seen[0].rfind("Execute RCMD", 0), 0u);

  EXPECT_EQ(wrapper.Saction("DELETE FROM T"), 0);  // no connection: the fake refuses
  EXPECT_EQ(fake.CallCount("Saction"), 1);
  EXPECT_EQ(wrapper.seen.back(), "Saction DELETE FROM T");
  // The owned target goes back to the caller whole.
  std::unique_ptr<DllParam> back = wrapper.ReleaseTarget();
  EXPECT_EQ(back.get(), &fake);
}

}  // namespace
}  // namespace qv
