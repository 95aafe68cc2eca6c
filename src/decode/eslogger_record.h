#pragma once

#include <simdjson.h>

#include <string>

#include "decode/eslogger_facts.h"
#include "decode/eslogger_process.h"
#include "decode/line_decoder.h"

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
    // The message number (global_seq_num) of the last read message that had
    // the eslogger shape, whatever read() answered; -1 when it had none or
    // no message was read since forgetSequenceNumber().
    std::int64_t sequenceNumber() const { return sequence_; }
    void forgetSequenceNumber() { sequence_ = -1; }

  private:
    // exec or fork: the subject is the exec's target or the fork's child.
    bool readProcessMessage(std::string_view name, const simdjson::dom::element& body,
                            ReceivedJsonView& out);
    bool readProcessEvent(const EsloggerProcess& subject, ReceivedJsonView& out);
    // An other kind's row: `process` gives a pid and a ppid.
    void readOther(const EsloggerProcess& process, std::string_view name,
                   const simdjson::dom::element& body, ReceivedJsonView& out);
    bool readFilePath(std::string_view name, const simdjson::dom::object& body,
                      std::string_view& path);

    EsloggerFactsReader facts_;
    std::string event_;  // "ES_EVENT_TYPE_NOTIFY_" and the kind in upper case
    std::string path_;   // a path joined from a folder and a file name
    std::string summary_;
    std::int64_t sequence_ = -1;
};

}  // namespace korvantis
