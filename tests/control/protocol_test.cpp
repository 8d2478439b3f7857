#include "control/protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "control/status.h"
#include "engine/call_record.h"
#include "engine/html_list.h"
#include "logview/list_edits.h"
#include "logview/list_rows.h"

namespace parvolin::control {
namespace {

using nlohmann::json;

std::string errorCode(std::string_view line) {
  const auto parsed = parseRequest(line);
  const auto* error = std::get_if<RequestError>(&parsed);
  return error ? error->code : std::string("accepted");
}

TEST(ControlProtocol, RefusesWhatIsNotARequest) {
  const struct {
    std::string line;
    std::string code;
  } cases[] = {
      {"", "bad-json"},
      {"{", "bad-json"},
      {"\xff\xfe", "bad-json"},
      {"[1,2]", "bad-request"},
      {"\"status\"", "bad-request"},
      {"{}", "bad-request"},
      {R"({"cmd":7})", "bad-request"},
      {R"({"cmd":"reboot"})", "unknown-command"},
      {R"({"cmd":"status","v":2})", "unsupported-version"},
      {R"({"cmd":"status","v":"1"})", "unsupported-version"},
      {R"({"cmd":"status","id":{"a":1}})", "bad-request"},
      {R"({"cmd":"status","id":")" + std::string(65, 'x') + "\"}", "bad-request"},
      {R"({"cmd":"list-edit"})", "bad-request"},
      {R"({"cmd":"list-edit","op":"rename","item":1})", "bad-request"},
      {R"({"cmd":"list-edit","op":"delete"})", "bad-request"},
      {R"({"cmd":"list-edit","op":"delete","item":0})", "bad-request"},
      {R"({"cmd":"list-edit","op":"delete","item":100000})", "bad-request"},
      {R"({"cmd":"list-edit","op":"delete","item":1.5})", "bad-request"},
      {R"({"cmd":"list-edit","op":"delete","item":"3"})", "bad-request"},
      {R"({"cmd":"list-edit","op":"delete","item":-1})", "bad-request"},
      {R"({"cmd":"list-edit","op":"delete","item":3,"to":0})", "bad-request"},
      {R"({"cmd":"list-edit","op":"edit","item":3})", "bad-request"},
      {R"({"cmd":"list-edit","op":"edit","item":3,"text":5})", "bad-request"},
      {R"({"cmd":"list-edit","op":"edit","item":3,"text":")" + std::string(161, 'a') + "\"}",
       "text-refused"},
      {R"({"cmd":"status","v":1,"id":"a"})", "accepted"},
      {R"({"cmd":"watch","id":9})", "accepted"},
      {R"({"cmd":"list-edit","op":"delete","item":3,"to":1})", "accepted"},
      {R"({"cmd":"list-edit","op":"delete-all"})", "accepted"},
      {R"({"cmd":"retention","dry-run":"yes"})", "bad-request"},
      {R"({"cmd":"retention"})", "accepted"},
      {R"({"cmd":"retention","dry-run":true})", "accepted"},
  };
  for (const auto& c : cases) EXPECT_EQ(errorCode(c.line), c.code) << c.line;
}

TEST(ControlProtocol, RetentionReportSurvivesItsAnswer) {
  const auto parsed = parseRequest(R"({"cmd":"retention","dry-run":true,"id":4})");
  ASSERT_TRUE(std::holds_alternative<Request>(parsed));
  EXPECT_EQ(std::get<Request>(parsed).command, Request::Command::kRetention);
  EXPECT_TRUE(std::get<Request>(parsed).dryRun);

  engine::RetentionReport report;
  report.dryRun = true;
  report.calls = 2;
  report.items = {3, 4};
  report.bytes = 3u << 20;
  report.recordings = {"w00000001p0.LV3"};
  report.oldestKept = 1'800'000'000u;
  report.error = "one recording could not be deleted";
  const nlohmann::json answer = retentionAnswer(4, report);
  EXPECT_EQ(answer["id"], 4);
  EXPECT_EQ(answer["summary"], report.summary());
  const auto back = retentionReportFrom(nlohmann::json::parse(encodeLine(answer)));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->summary(), report.summary());
  EXPECT_EQ(back->recordings, report.recordings);
  EXPECT_EQ(back->items, report.items);
  EXPECT_FALSE(retentionReportFrom(errorAnswer({4, "busy", "waiting"})));
}

TEST(ControlProtocol, ErrorAnswersCarryTheIdWhenOneWasReadable) {
  const auto parsed = parseRequest(R"({"cmd":"nope","id":41})");
  const json answer = errorAnswer(std::get<RequestError>(parsed));
  EXPECT_EQ(answer["id"], 41);
  EXPECT_EQ(answer["ok"], false);
  EXPECT_EQ(answer["v"], kProtocolVersion);
}

TEST(ControlProtocol, EncodesTextThatIsNotUtf8WithoutThrowing) {
  StatusSnapshot status;
  status.lines[0].detail = "caller \xff\xfe";
  std::string line;
  ASSERT_NO_THROW(line = encodeLine(toJson(status)));
  EXPECT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\n'), line.size() - 1) << "one message, one line";
}

TEST(ControlProtocol, StatusSurvivesItsJsonForm) {
  StatusSnapshot status;
  status.version = "1.2.3";
  status.startedAt = 1'700'000'000;
  status.ticks = 99;
  status.folder = "/var/lib/parvolin";
  status.list = "/var/lib/parvolin/ParvolinLog.htm";
  status.units[1] = {true, true, 2};
  status.lines[5] = {"RING", "0301234567", true};
  status.visibleLines = 8;
  status.capacity.itemsText = "Logged Items: 3 / 1000 ";
  status.capacity.itemsPosition = 3;
  status.loggedItems = 3;
  status.loggedMegabytes = 1;
  status.itemLimit = 1000;
  status.spaceLimitMb = 500;
  status.freeBytes = 123456789;
  status.problems = {{1'700'000'100, "disk full", 3}};
  status.listEditPending = true;
  EXPECT_EQ(statusFromJson(toJson(status)), status);
  EXPECT_EQ(status.linesServed(), 4);
  EXPECT_EQ(status.linesInCall(), 1);

  json wrong = toJson(status);
  wrong["lines"][0]["status"] = 5;
  EXPECT_FALSE(statusFromJson(wrong));
  wrong = toJson(status);
  wrong["lines"] =
      json::array({json::object(), json::object(), json::object(), json::object(), json::object(),
                   json::object(), json::object(), json::object(), json::object(), json::object(),
                   json::object(), json::object(), json::object(), json::object(), json::object(),
                   json::object(), json::object()});
  EXPECT_FALSE(statusFromJson(wrong)) << "17 lines";
}

// A list of three calls, items 1 to 3, as the recorder writes it.
std::string threeCallList() {
  std::string list(engine::kHtmlHeader);
  for (int item = 3; item >= 1; --item) {
    engine::CallRecord record;
    record.callType = engine::kCallAnswered;
    record.portIndex = std::uint8_t(item - 1);
    record.startTime = 1'796'720'000u + std::uint32_t(item) * 60u;
    record.durationSec = std::uint16_t(10 * item);
    list += engine::htmlRow(record, 3, false, item);
  }
  return list;
}

TEST(ControlProtocol, PlansTheEditsTheFileManagerMakes) {
  const std::string list = threeCallList();
  const std::string_view body = logview::listBody(list);
  const auto rows = logview::parseRows(body);
  ASSERT_EQ(rows.size(), 3u);
  using Op = ListEditRequest::Op;

  const auto same = [](const std::optional<engine::PendingListEdit>& a,
                       const std::optional<engine::PendingListEdit>& b) {
    return a && b && a->oldText == b->oldText && a->newText == b->newText &&
           a->deleteAll == b->deleteAll;
  };
  EXPECT_TRUE(same(planListEdit({Op::kEdit, 2, {}, "boss", {}}, list).edit,
                   logview::textEdit(*logview::findItem(rows, 2), "boss")));
  EXPECT_TRUE(same(planListEdit({Op::kDelete, 2, {}, {}, {}}, list).edit,
                   logview::deleteItemEdit(rows, 2)));
  EXPECT_TRUE(same(planListEdit({Op::kDelete, 2, 1, {}, {}}, list).edit,
                   logview::deleteRangeEdit(rows, 2, 1)));
  // From the newest item down to 1 is Delete All, with its clearing of the folder.
  EXPECT_TRUE(
      same(planListEdit({Op::kDelete, 3, 1, {}, {}}, list).edit, logview::deleteAllEdit(body)));
  EXPECT_TRUE(
      same(planListEdit({Op::kDeleteAll, 0, {}, {}, {}}, list).edit, logview::deleteAllEdit(body)));
  EXPECT_TRUE(planListEdit({Op::kDeleteAll, 0, {}, {}, {}}, list).edit->deleteAll);

  EXPECT_EQ(planListEdit({Op::kDelete, 7, {}, {}, {}}, list).error->code, "no-item");
  EXPECT_EQ(planListEdit({Op::kEdit, 7, {}, "x", {}}, list).error->code, "no-item");
  EXPECT_EQ(planListEdit({Op::kEdit, 1, {}, "</td><script>", {}}, list).error->code,
            "text-refused");
  EXPECT_EQ(
      planListEdit({Op::kDelete, 1, {}, {}, {}}, std::string(engine::kHtmlHeader)).error->code,
      "no-rows");
  EXPECT_EQ(planListEdit({Op::kDelete, 1, {}, {}, {}}, "").error->code, "no-rows");
  const ListEditPlan unchanged = planListEdit(
      {Op::kEdit, 1, {}, std::string(logview::findItem(rows, 1)->trimmedText()), {}}, list);
  EXPECT_TRUE(unchanged.unchanged);
  EXPECT_FALSE(unchanged.edit);
}

// The guard of an edit named by item number: the client says which row it means, and a list in
// which that item is another call (made again after Delete All) or a changed row refuses it.
TEST(ControlProtocol, AnEditOfARowThatMovedOrChangedIsRefused) {
  using Op = ListEditRequest::Op;
  const std::string seen = threeCallList();
  const auto seenRows = logview::parseRows(logview::listBody(seen));
  const std::string meant = logview::rowFingerprint(*logview::findItem(seenRows, 2));

  // The list was cleared and filled again: item 2 is another call now.
  std::string again(engine::kHtmlHeader);
  for (int item = 2; item >= 1; --item) {
    engine::CallRecord record;
    record.callType = engine::kCallAnswered;
    record.portIndex = 5;
    record.startTime = 1'800'000'000u + std::uint32_t(item) * 60u;
    record.durationSec = 7;
    again += engine::htmlRow(record, 3, false, item);
  }
  // Item 2's text was changed by someone else meanwhile.
  const ListEditPlan edited = planListEdit({Op::kEdit, 2, {}, "boss", {}}, seen);
  ASSERT_TRUE(edited.edit);
  std::string changed = seen;
  changed.replace(changed.find(edited.edit->oldText), edited.edit->oldText.size(),
                  edited.edit->newText);

  const struct {
    const char* what;
    ListEditRequest request;
    std::string list;
    const char* code;  // nullptr: planned
  } cases[] = {
      {"edit, same row", {Op::kEdit, 2, {}, "boss", meant}, seen, nullptr},
      {"delete, same row", {Op::kDelete, 2, {}, {}, meant}, seen, nullptr},
      {"range, same first row", {Op::kDelete, 2, 1, {}, meant}, seen, nullptr},
      {"edit, list made again", {Op::kEdit, 2, {}, "boss", meant}, again, "item-moved"},
      {"delete, list made again", {Op::kDelete, 2, {}, {}, meant}, again, "item-moved"},
      {"range, list made again", {Op::kDelete, 2, 1, {}, meant}, again, "item-moved"},
      {"edit, row changed", {Op::kEdit, 2, {}, "other", meant}, changed, "item-moved"},
      {"delete, row changed", {Op::kDelete, 2, {}, {}, meant}, changed, "item-moved"},
      {"without expect, list made again", {Op::kDelete, 2, {}, {}, {}}, again, nullptr},
      {"no such item", {Op::kDelete, 9, {}, {}, meant}, seen, "no-item"},
  };
  for (const auto& c : cases) {
    const ListEditPlan plan = planListEdit(c.request, c.list);
    if (c.code) {
      ASSERT_TRUE(plan.error) << c.what;
      EXPECT_EQ(plan.error->code, c.code) << c.what;
      EXPECT_FALSE(plan.edit) << c.what;
    } else {
      EXPECT_FALSE(plan.error) << c.what;
      EXPECT_TRUE(plan.edit) << c.what;
    }
  }
}

TEST(ControlProtocol, ExpectIsARowsFingerprint) {
  const auto expectOf = [](std::string_view line) -> std::optional<std::string> {
    const auto parsed = parseRequest(line);
    const auto* request = std::get_if<Request>(&parsed);
    return request ? request->edit.expect : std::nullopt;
  };
  EXPECT_EQ(expectOf(R"({"cmd":"list-edit","op":"delete","item":5,"expect":"0123456789abcdef"})"),
            "0123456789abcdef");
  EXPECT_EQ(expectOf(R"({"cmd":"list-edit","op":"delete","item":5})"), std::nullopt);
  for (const char* line : {
           R"({"cmd":"list-edit","op":"delete","item":5,"expect":"0123456789ABCDEF"})",
           R"({"cmd":"list-edit","op":"delete","item":5,"expect":"0123456789abcde"})",
           R"({"cmd":"list-edit","op":"edit","item":5,"text":"x","expect":12345})",
           R"({"cmd":"list-edit","op":"edit","item":5,"text":"x","expect":null})",
       }) {
    EXPECT_EQ(errorCode(line), "bad-request") << line;
  }
}

}  // namespace
}  // namespace parvolin::control
