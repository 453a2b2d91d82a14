#pragma once

// A diagnosis in the command line's words: one detail line per check, the
// conclusion's advice, the report and its JSON.

#include "Diagnosis.h"

#include <nlohmann/json.hpp>

#include <string>

namespace cli {

std::string CheckDetail(const session::SDiagnosis& diagnosis, session::ECheck eCheck);
std::string ConclusionAdvice(const session::SDiagnosis& diagnosis);
std::string DiagnosisReport(const session::SDiagnosis& diagnosis);
nlohmann::ordered_json DiagnosisJson(const session::SDiagnosis& diagnosis);

// The hint that ends a get or set that heard nothing.
std::string DiagnoseHint(const std::string& strAddress);

} // namespace cli
