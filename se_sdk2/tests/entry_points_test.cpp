// The two exports, the module record and the dispatcher, driven directly
// through the loaded probe library with a host callback that only counts.
#include <cstring>

#include "plughost/plugin_library.h"
#include "probe_fixture.h"
#include "se_sdk2/host_opcodes.h"

namespace {

int g_host_calls = 0;
intptr_t counting_host(SEModuleRecord*, int32_t, int32_t, int32_t, void*, float) {
  ++g_host_calls;
  return 0;
}

class EntryPoints : public ProbeTest {
 protected:
  void SetUp() override { lib_ = std::make_unique<plughost::PluginLibrary>(library()); }
  SEModuleRecord* make(intptr_t word = 0x1234) {
    return static_cast<SEModuleRecord*>(lib_->make_module()(0, 1, &counting_host, word));
  }
  static intptr_t dispatch(SEModuleRecord* r, int op, int index = 0, int value = 0,
                           void* data = nullptr, float opt = 0) {
    return r->dispatcher(r, op, index, value, data, opt);
  }
  std::unique_ptr<plughost::PluginLibrary> lib_;
};

TEST_P(EntryPoints, DescriptionForAnotherIndexWritesOnlyTheRevision) {
  SEModuleProperties p;
  std::memset(&p, 0x5A, sizeof p);
  SEModuleProperties untouched = p;
  EXPECT_EQ(lib_->get_module_properties()(1, &p), 0);
  EXPECT_EQ(p.name, untouched.name);
  EXPECT_EQ(p.id, untouched.id);
  EXPECT_EQ(p.about, untouched.about);
  EXPECT_EQ(p.flags, untouched.flags);
  // Revision 2230 writes its revision whatever the index; 2020 writes nothing.
  EXPECT_EQ(p.sdk_revision, revision() == 2230 ? 2230 : untouched.sdk_revision);
}

TEST_P(EntryPoints, DescriptionOfModuleZeroLeavesFlagsOfAModuleWithoutGui) {
  SEModuleProperties p;
  std::memset(&p, 0x5A, sizeof p);
  const int32_t untouched_flags = p.flags;
  const void* untouched_reserved = p.reserved;
  ASSERT_EQ(lib_->get_module_properties()(0, &p), 1);
  EXPECT_STREQ(p.name, ("Probe " + std::to_string(revision())).c_str());
  EXPECT_STREQ(p.id, ("SE probe " + std::to_string(revision())).c_str());
  EXPECT_EQ(p.sdk_revision, revision());
  EXPECT_EQ(p.flags, untouched_flags);
  EXPECT_EQ(p.reserved, untouched_reserved);
}

TEST_P(EntryPoints, MakeModuleRefusesOtherIndexesAndKinds) {
  EXPECT_EQ(lib_->make_module()(1, 1, &counting_host, 0), nullptr);
  EXPECT_EQ(lib_->make_module()(0, 2, &counting_host, 0), nullptr);  // no GUI object offered
  EXPECT_EQ(lib_->make_module()(0, 0, &counting_host, 0), nullptr);
  EXPECT_EQ(lib_->make_module()(0, 3, &counting_host, 0), nullptr);
}

TEST_P(EntryPoints, RecordHasMagicVersionHostWordAndSendsNothingDuringCreation) {
  g_host_calls = 0;
  SEModuleRecord* r = make(0x7E57);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(g_host_calls, 0);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(r);
  EXPECT_EQ(bytes[0], 0x4C);
  EXPECT_EQ(bytes[1], 0x50);
  EXPECT_EQ(bytes[2], 0x45);
  EXPECT_EQ(bytes[3], 0x53);
  EXPECT_EQ(r->version, 1);
  EXPECT_EQ(r->host_word, 0x7E57);
  EXPECT_NE(r->instance, nullptr);
  EXPECT_EQ(r->reserved0, 0);
  for (int32_t word : r->reserved1) EXPECT_EQ(word, 0);
  EXPECT_NE(r->dispatcher, nullptr);
  EXPECT_NE(r->process, nullptr);  // the empty routine until Open chooses one
  EXPECT_NE(r->event, nullptr);
  // The empty routine may be called before Open.
  r->process(r->instance, 0, 16);
  EXPECT_EQ(dispatch(r, se::kOpClose), 1);
}

TEST_P(EntryPoints, UnknownOpcodesAnswerZero) {
  SEModuleRecord* r = make();
  for (int op : {4, 5, 7, 9, 10, 11, 14, 15, 99, -1}) EXPECT_EQ(dispatch(r, op, 1, 2), 0) << op;
  if (revision() == 2020) {
    EXPECT_EQ(dispatch(r, se::kOpProcessReference), 0);
  }
  g_host_calls = 0;
  for (int op : {4, 5, 7, 9, 10, 11, 14}) dispatch(r, op);
  EXPECT_EQ(g_host_calls, 0);
  EXPECT_EQ(dispatch(r, se::kOpClose), 1);
}

TEST_P(EntryPoints, PinQueryPastTheLastPinAnswersZero) {
  SEModuleRecord* r = make();
  SEPinProperties p{};
  EXPECT_EQ(dispatch(r, se::kOpPinProperties, 8, 0, &p), 1);
  EXPECT_STREQ(p.name, "Extra In");
  std::memset(&p, 0, sizeof p);
  EXPECT_EQ(dispatch(r, se::kOpPinProperties, 9, 0, &p), 0);
  EXPECT_EQ(dispatch(r, se::kOpPinProperties, -1, 0, &p), 0);
  EXPECT_EQ(dispatch(r, se::kOpPinProperties, 0, 0, nullptr), 0);  // no record to fill
  EXPECT_EQ(dispatch(r, se::kOpClose), 1);
}

TEST_P(EntryPoints, ProcessReferenceAnswerIsSharedAndDescribesTheCallingInstance) {
  SEModuleRecord* a = make();
  if (revision() == 2020) {  // it keeps no member routine reference to answer with
    EXPECT_EQ(dispatch(a, se::kOpProcessReference), 0);
    dispatch(a, se::kOpClose);
    return;
  }
  SEModuleRecord* b = make();
  const auto* answer_a =
      reinterpret_cast<const SEProcessReferenceAnswer*>(dispatch(a, se::kOpProcessReference));
  ASSERT_NE(answer_a, nullptr);
  const SEProcessReferenceAnswer first = *answer_a;
  const auto* answer_b =
      reinterpret_cast<const SEProcessReferenceAnswer*>(dispatch(b, se::kOpProcessReference));
  EXPECT_EQ(answer_a, answer_b);  // one record per library
  EXPECT_NE(first.address, answer_b->address);
  EXPECT_EQ(first.one, 1);
  EXPECT_EQ(first.zero, 0);
  EXPECT_EQ(first.size, int32_t(2 * sizeof(void*)));  // this build's member routine reference
  // The stored reference lives inside the instance.
  const char* instance = static_cast<const char*>(a->instance);
  const char* stored = static_cast<const char*>(first.address);
  EXPECT_GT(stored, instance);
  EXPECT_LT(stored, instance + 4096);
  dispatch(a, se::kOpClose);
  dispatch(b, se::kOpClose);
}

INSTANTIATE_TEST_SUITE_P(Revisions, EntryPoints, ::testing::Values(2230, 2020),
                         [](const auto& info) { return "rev" + std::to_string(info.param); });

// Opcodes that reach the module's virtual operations, through the host.
TEST_P(ProbeTest, SampleRateAndBlockSizeAreStoredAndReadBack) {
  plughost::Engine engine(96000.0f, 256);
  plughost::Instance& probe = add(engine);
  EXPECT_EQ(single(probe, "rates"), "rates 96000 256");
  probe.dispatch(se::kOpSampleRate, 0, 0, nullptr, 48000.0f);
  probe.dispatch(se::kOpBlockSize, 0, 32);
  EXPECT_EQ(single(probe, "rates"), "rates 48000 32");
}

TEST_P(ProbeTest, OpcodeEightCallsReserved15OnlyInRevision2230AndOnlyForIndexAboveZero) {
  plughost::Engine engine;
  plughost::Instance& probe = add(engine);
  probe.dispatch(se::kOpReserved14, 0);
  probe.dispatch(se::kOpReserved14, 3);
  using V = std::vector<std::string>;
  if (revision() == 2230) {
    EXPECT_EQ(plughost::testing::take_reports(probe),
              (V{"reserved14", "reserved14", "reserved15 3"}));
  } else {
    EXPECT_EQ(plughost::testing::take_reports(probe), (V{"reserved14", "reserved14"}));
  }
}

TEST_P(ProbeTest, GuiMessagePassesTheValueOnlyInRevision2230) {
  plughost::Engine engine;
  plughost::Instance& probe = add(engine);
  probe.send_gui_message("clock", 42);
  auto reports = plughost::testing::take_reports(probe);
  if (revision() == 2230) {
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], "gui value=42");
  } else {
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "clock 0");
  }
}

TEST_P(ProbeTest, InstanceNumbersDifferPerInstance) {
  plughost::Engine engine;
  plughost::Instance& a = engine.add("a", library());
  plughost::Instance& b = engine.add("b", library());
  EXPECT_EQ(single(a, "instance"), "instance 1");
  EXPECT_EQ(single(b, "instance"), "instance 2");
}

TEST_P(ProbeTest, PatchStoredInputThatIsNeitherPrivateNorUiIsReported) {
  plughost::Engine engine;
  plughost::Instance& probe = add(engine);
  SEPinProperties p{};
  plughost::StderrCapture captured;
  EXPECT_EQ(probe.dispatch(se::kOpPinProperties, 99, 0, &p), 1);
  EXPECT_PRECONDITION_REPORT(captured.text(),
                             "(((SEPinProperties*)ptr)->flags & IO_PATCH_STORE) == 0 || "
                             "(((SEPinProperties*)ptr)->flags & IO_PRIVATE) != 0 || "
                             "((SEPinProperties*)ptr)->direction == DR_OUT || "
                             "( ( (SEPinProperties*)ptr)->flags & IO_UI_COMMUNICATION) != 0");
}

INSTANTIATE_TEST_SUITE_P(Revisions, ProbeTest, ::testing::Values(2230, 2020),
                         [](const auto& info) { return "rev" + std::to_string(info.param); });

}  // namespace
