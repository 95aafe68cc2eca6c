#pragma once

// eslogger messages as the rule tests need them: only the members the
// viewer reads, texts put in as they stand (escape them yourself).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvantis::testsupport {

struct EsProcess {
    std::int64_t pid = 1;
    std::int64_t ppid = 0;
    std::string path = "/sbin/launchd";
    std::string extra = {};  // more members, each with its leading comma
};

inline std::string esProcessJson(const EsProcess& p) {
    return R"({"audit_token":{"pid":)" + std::to_string(p.pid) + R"(,"euid":501},"ppid":)" +
           std::to_string(p.ppid) + R"(,"executable":{"path":")" + p.path + R"("})" + p.extra + "}";
}

inline std::string esMessage(const EsProcess& process, std::string_view event) {
    return R"({"time":"2026-12-07T10:00:00.000000000Z","process":)" + esProcessJson(process) +
           R"(,"event":{)" + std::string(event) + "}}";
}

// `process` execs `target` with `args` (JSON strings, quotes included).
inline std::string esExec(const EsProcess& process, const EsProcess& target,
                          const std::vector<std::string>& args, std::string_view cwd = "/") {
    std::string list;
    for (const std::string& a : args) {
        list += (list.empty() ? "" : ",") + a;
    }
    return esMessage(process, R"("exec":{"target":)" + esProcessJson(target) + R"(,"args":[)" +
                                  list + R"(],"cwd":{"path":")" + std::string(cwd) + R"("}})");
}

inline std::string esExec(const EsProcess& target, const std::vector<std::string>& args) {
    return esExec(target, target, args);
}

inline std::string esFork(const EsProcess& parent, const EsProcess& child) {
    return esMessage(parent, R"("fork":{"child":)" + esProcessJson(child) + "}");
}

// `process` makes the file `path` (its folder and name apart).
inline std::string esCreate(const EsProcess& process, std::string_view dir, std::string_view name) {
    return esMessage(
        process, R"("create":{"destination_type":1,"destination":{"new_path":{"dir":{"path":")" +
                     std::string(dir) + R"("},"filename":")" + std::string(name) + R"("}}})");
}

inline std::string esRename(const EsProcess& process, std::string_view to) {
    return esMessage(
        process,
        R"("rename":{"source":{"path":"/tmp/x"},"destination_type":0,"destination":{"existing_file":{"path":")" +
            std::string(to) + R"("}}})");
}

}  // namespace korvantis::testsupport
