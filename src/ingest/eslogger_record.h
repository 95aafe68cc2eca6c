#pragma once

#include <simdjson.h>

#include <string>

#include "ingest/eslogger_facts.h"
#include "ingest/received_json.h"

namespace korvantis {

// Reads a line that macOS's eslogger wrote (one whole es_message_t) as a
// record: the one member under "event" names the kind, "time" is the
// timestamp, and the process or file part comes from the member's body. Only
// the few members the record needs are looked at; everything else in the
// message is left for the detail view, which shows the raw line.
class EsloggerRecordReader {
  public:
    // False when `root` is no eslogger message or a member the record needs
    // is missing, null or of the wrong type. The texts in `out` point into
    // the parsed document and into this reader, valid until the next read.
    bool read(const simdjson::dom::element& root, ReceivedJsonView& out);

  private:
    bool readProcessEvent(const simdjson::dom::element& subject, ReceivedJsonView& out);
    bool readFilePath(std::string_view name, const simdjson::dom::object& body,
                      std::string_view& path);

    EsloggerFactsReader facts_;
    std::string event_;  // "ES_EVENT_TYPE_NOTIFY_" and the kind in upper case
    std::string path_;   // a path joined from a folder and a file name
};

}  // namespace korvantis
