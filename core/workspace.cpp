// Adding, deleting and replacing the entries of the data configuration.
#include "core/workspace.h"

#include <stdexcept>

namespace karvelo {

bool Workspace::AddDataDef(const TDataDef& def) {
  if (DataDefCount >= MaxDataFiles) return false;
  ++DataDefCount;
  DataDefs[DataDefCount] = def;
  PresenceDefIndex = FindPresenceDefIndex();
  return true;
}

void Workspace::DeleteDataDef(int slot) {
  if (slot < 1 || slot > DataDefCount) throw std::out_of_range("no data configuration entry in that slot");
  for (int i = slot; i < DataDefCount; ++i) DataDefs[i] = std::move(DataDefs[i + 1]);
  DataDefs[DataDefCount].reset();
  --DataDefCount;
  PresenceDefIndex = FindPresenceDefIndex();
}

void Workspace::ClearDataDefs() {
  for (auto& slot : DataDefs) slot.reset();
  DataDefCount = 0;
  PresenceDefIndex = 0;
}

bool Workspace::HasAbsenceGrid() const {
  for (int i = 1; i <= DataDefCount; ++i) {
    if (DataDefs[i]->IsAbsenceGrid()) return true;
  }
  return false;
}

int Workspace::FindPresenceDefIndex() const {
  int index = 0;
  for (int i = 1; i <= DataDefCount; ++i) {
    if (DataDefs[i]->IsPresenceGrid()) index = i;
  }
  return index;
}

}  // namespace karvelo
