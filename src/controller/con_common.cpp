#include "controller/con_common.h"

#include <new>

ControllerSetup::ControllerSetup() {
  for (auto& scale : valuatorScale) {
    scale[0] = 0.0f;
    scale[1] = 0.0f;
    scale[2] = 1.0f;
    scale[3] = 0.0f;
  }
}

CConCommonH::CConCommonH(const CLogH* log)
    : logger_(log, "CConCommonH", logh::kComponentOwnerLevel) {
  logger_.debug("CConCommonH: \"constructor\" called.");
}

CConCommonH::~CConCommonH() {
  logger_.debug("CConCommonH: \"destructor\" called.");
  if (table_) destroyTable();
}

bool CConCommonH::createTable(uint32_t count, bool limit) {
  if (count == 0) return false;
  if (table_) destroyTable();
  table_.reset(new (std::nothrow) ControllerSetup[count]);
  if (!table_) return false;
  allocated_ = count;
  tableSize = count;
  limitToCounts = limit;
  return true;
}

bool CConCommonH::setupController(uint32_t id, uint32_t outputIndex, uint32_t valuators,
                                  uint32_t buttons) {
  ControllerSetup* setup = find(id);
  if (setup == nullptr) return false;
  if (valuators > kMaxControllerInputs || buttons > kMaxControllerInputs) return false;
  setup->outputIndex = outputIndex;
  setup->valuatorCount = valuators;
  setup->buttonCount = buttons;
  for (uint32_t r = 0; r < valuators; ++r) {
    setup->valuatorMap[r] = r + 1;
    float* scale = setup->valuatorScale[r];
    scale[0] = 0.0f;
    scale[1] = 0.0f;
    scale[2] = 1.0f;
    scale[3] = 0.0f;
  }
  for (uint32_t b = 0; b < buttons; ++b) setup->buttonMap[b] = b + 1;
  return true;
}

bool CConCommonH::setEmulation(uint32_t id, uint32_t mode, const float values[6],
                               const uint32_t valuators[6], uint32_t button) {
  ControllerSetup* setup = find(id);
  if (setup == nullptr) return false;
  if (!setup->emulation) {
    setup->emulation.reset(new (std::nothrow) TrackerEmulation);
    if (!setup->emulation) return false;
  }
  TrackerEmulation& emulation = *setup->emulation;
  emulation.mode = mode;
  for (int i = 0; i < 6; ++i) {
    emulation.values[i] = values[i];
    emulation.valuators[i] = valuators[i];
  }
  emulation.button = button;
  emulation.state = 0.0;
  return true;
}

bool CConCommonH::destroyTable() {
  if (!table_) return false;
  table_.reset();  // each record frees its own emulation
  allocated_ = 0;
  tableSize = 0;
  return true;
}

const ControllerSetup* CConCommonH::controller(uint32_t id) const {
  return const_cast<CConCommonH*>(this)->find(id);
}

ControllerSetup* CConCommonH::find(uint32_t id) {
  if (!table_ || id == 0 || id > tableSize || id > allocated_) return nullptr;
  return &table_[id - 1];
}
