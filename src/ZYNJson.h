// The run as JSON (-report:), for build servers and dashboards: the version and keys, then each class file or
// archive entry in table order with its sizes, warnings, failure (code, arguments, line) and the decisions on
// its private members, then the totals. The same run gives the same bytes at any thread count. doc/report.schema.json
// describes it.
// Uses: ZYNData, ZYNError, ZYNExplain, ZYNMap, ZYNReport, ZYNResult, ZYNVersion.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "ZYNData.h"
#include "ZYNError.h"
#include "ZYNMap.h"
#include "ZYNResult.h"

namespace ZYNJson {

// The text as a JSON string, quotes included: valid UTF-8 as it is, every other byte as U+FFFD.
std::string Quoted(std::string_view text);

class tReportOutput final : public ZYNMap::tTextOutput {
public:
  explicit tReportOutput(const ZYNData::tParams& params) : tTextOutput(ZYNError::tKind::kReportNotWritten), params_(params) {}
  ~tReportOutput() override { Stopped(); }

private:
  std::string Lines(const std::string& name, const ZYNResult::tFileResult& result) override;
  std::string Tail(const ZYNResult::tTotals* totals) override;
  std::string Head();  // the text before the first file, once
  const ZYNData::tParams& params_;
  bool headed_ = false;
  std::size_t files_ = 0;
};

}  // namespace ZYNJson
