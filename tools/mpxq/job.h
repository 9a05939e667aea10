// The job header a host sends for a print job: the command-sequence keys asked in order with
// the job's settings, joined, and listed command by command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "modeldb_client.h"

namespace mpxq {

struct JobPart {
  uint16_t key;
  int32_t status;
  uint32_t offset;  // in the joined header
  std::vector<uint8_t> bytes;
};

struct JobHeader {
  std::vector<JobPart> parts;
  std::vector<uint8_t> bytes;  // the answered parts joined
  bool complete = true;        // every part answered
};

// The command sequences in the order the host sends them.
std::vector<uint16_t> DefaultJobKeys();

JobHeader BuildJobHeader(const ModelDb& db, const Query& base, const std::vector<uint16_t>& keys);

std::string JobListing(const JobHeader& job);
nlohmann::json JobJson(const JobHeader& job);

}  // namespace mpxq
