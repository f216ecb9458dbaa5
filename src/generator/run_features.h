#pragma once
// The features a run adds to the generator, each an object owned by its own
// code, created by the run and handed down the walk to the embedding of
// every file: the data form's writer, the dependency rule (of -M), the side
// records (of -x), the shards (of -s) and the size report (of -r).
#include "generator/data/data_writer.h"
#include "generator/dependency_rule.h"

struct http_extras_run;
class record_shards;
class size_report;

struct run_features {
  data_writer& data;
  dependency_rule& deps;
  /// Null without -x.
  http_extras_run* extras;
  /// Null without -s.
  record_shards* shards = nullptr;
  /// Null without -r.
  size_report* report = nullptr;
};
