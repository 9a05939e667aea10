#include "job.h"

#include <cstdio>

#include "drv_keys.h"
#include "printer_commands.h"

namespace mpxq {

std::vector<uint16_t> DefaultJobKeys() {
  std::vector<uint16_t> keys;
  for (uint16_t key = drv::kFirstSequenceKey; key <= drv::kLastSequenceKey; ++key) keys.push_back(key);
  return keys;
}

JobHeader BuildJobHeader(const ModelDb& db, const Query& base, const std::vector<uint16_t>& keys) {
  JobHeader job;
  for (const uint16_t key : keys) {
    Query query = base;
    query.category = FindCategory("drv");
    query.key = key;
    JobPart part{key, 0, static_cast<uint32_t>(job.bytes.size()), {}};
    part.status = db.Ask(query, &part.bytes);
    if (part.status == MPX_OK) {
      job.bytes.insert(job.bytes.end(), part.bytes.begin(), part.bytes.end());
    } else {
      job.complete = false;
    }
    job.parts.push_back(std::move(part));
  }
  return job;
}

std::string JobListing(const JobHeader& job) {
  std::string out;
  char buffer[200];
  std::snprintf(buffer, sizeof buffer, "job header: %zu command sequence%s, %zu bytes\n", job.parts.size(),
                job.parts.size() == 1 ? "" : "s", job.bytes.size());
  out += buffer;
  for (const JobPart& part : job.parts) {
    if (part.status != MPX_OK) {
      std::snprintf(buffer, sizeof buffer, "\nDrv key %u (0x%04X): status %d (%s)\n", part.key, part.key,
                    part.status, StatusName(part.status).c_str());
      out += buffer;
      continue;
    }
    std::snprintf(buffer, sizeof buffer, "\nDrv key %u (0x%04X): %zu bytes at offset %u\n", part.key, part.key,
                  part.bytes.size(), part.offset);
    out += buffer;
    out += ListCommands(SplitCommands(part.bytes), "  ");
  }
  return out;
}

nlohmann::json JobJson(const JobHeader& job) {
  nlohmann::json parts = nlohmann::json::array();
  for (const JobPart& part : job.parts) {
    nlohmann::json item = {{"key", part.key}, {"status", part.status}, {"status_name", StatusName(part.status)}};
    if (part.status == MPX_OK) {
      item["offset"] = part.offset;
      item["size"] = part.bytes.size();
      item["commands"] = CommandsJson(SplitCommands(part.bytes));
    }
    parts.push_back(item);
  }
  return {{"size", job.bytes.size()}, {"complete", job.complete}, {"parts", parts}};
}

}  // namespace mpxq
