#include "tracker/tra_common.h"

#include <cstring>
#include <new>

#include "common/records.h"

void CalibArgList::assign(const char* const* texts, uint32_t count) {
  clear();
  if (count > kCapacity) count = kCapacity;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t size = std::strlen(texts[i]) + 1;
    storage_[i].reset(new char[size]);
    std::memcpy(storage_[i].get(), texts[i], size);
    items_[i] = storage_[i].get();
  }
}

void CalibArgList::clear() {
  for (uint32_t i = 0; i < kCapacity; ++i) {
    items_[i] = nullptr;
    storage_[i].reset();
  }
}

CTraCommonH::CTraCommonH(const CLogH* log)
    : logger_(log, "CTraCommonH", logh::kComponentOwnerLevel) {
  logger_.debug("CTraCommonH: \"constructor\" called.");
}

CTraCommonH::~CTraCommonH() {
  logger_.debug("CTraCommonH: \"destructor\" called.");
  if (calib) {
    calib.reset();
    calibArgs.clear();
  }
  trackers.reset();
}

bool CTraCommonH::allocTrackers(uint32_t n) {
  if (n == 0) return false;
  std::unique_ptr<TrackerRec[]> table(new (std::nothrow) TrackerRec[n]);
  if (!table) return false;
  trackers = std::move(table);
  trackerCount = n;
  for (uint32_t id = 1; id <= n; ++id) setTracker(id, 0, nullptr, nullptr, nullptr);
  return true;
}

bool CTraCommonH::setTracker(uint32_t id, uint32_t outputIndex, const Matrix4* offset,
                             const Matrix4* rotation, const float* translation) {
  // ID 0 would address the record before the table.
  if (!trackers || id == 0 || id > trackerCount) return false;
  TrackerRec& rec = trackers[id - 1];
  rec.outputIndex = outputIndex;
  rec.hasSensorOffset = offset != nullptr;
  rec.sensorOffset = offset ? *offset : zeroMatrix();
  rec.hasSensorRotation = rotation != nullptr;
  rec.sensorRotation = rotation ? *rotation : identityMatrix();
  rec.hasSensorTranslation = translation != nullptr;
  for (int i = 0; i < 3; ++i) rec.sensorTranslation[i] = translation ? translation[i] : 0.0f;
  rec.sensorTransform = combineTransform(rec.sensorRotation, rec.sensorOffset);
  return true;
}

void CTraCommonH::clearUpdated(uint8_t mask[4]) {
  records::maskClear(mask);
}

bool CTraCommonH::markUpdated(uint8_t mask[4], uint32_t outputId) {
  return records::maskMark(mask, outputId);
}
