// The configuration slots, the roles of an entry, and the byte rasters.
#include <gtest/gtest.h>

#include "core/workspace.h"

namespace karvelo {
namespace {

TDataDef Entry(const std::string& name, double presence, double absence, int classes) {
  TDataDef d;
  d.FileName = name;
  d.NODATA_value = -9999;
  d.PositiveIndicatorValue = presence;
  d.NegativeIndicatorValue = absence;
  d.NrClasses = classes;
  return d;
}

TEST(Workspace, RolesFollowTheFields) {
  const TDataDef both = Entry("o", 1, 0, 0);
  EXPECT_TRUE(both.IsPresenceGrid());
  EXPECT_TRUE(both.IsAbsenceGrid());
  EXPECT_FALSE(both.IsAuxiliaryGrid());
  EXPECT_FALSE(Entry("a", -9999, -9999, 1).IsAuxiliaryGrid());
  EXPECT_TRUE(Entry("a", -9999, -9999, 2).IsAuxiliaryGrid());
}

TEST(Workspace, SlotsStayInStepWithAddAndDelete) {
  auto ws = std::make_unique<Workspace>();
  EXPECT_TRUE(ws->AddDataDef(Entry("obs1", 1, -9999, 0)));
  EXPECT_TRUE(ws->AddDataDef(Entry("soil", -9999, -9999, 4)));
  EXPECT_TRUE(ws->AddDataDef(Entry("obs2", 2, 0, 0)));
  EXPECT_EQ(ws->DataDefCount, 3);
  EXPECT_EQ(ws->PresenceDefIndex, 3);

  ws->DeleteDataDef(1);
  EXPECT_EQ(ws->DataDefCount, 2);
  EXPECT_EQ(ws->DataDef(1).FileName, "soil");
  EXPECT_EQ(ws->DataDef(2).FileName, "obs2");
  EXPECT_FALSE(ws->DataDefs[3].has_value());
  EXPECT_EQ(ws->PresenceDefIndex, 2);

  ws->DeleteDataDef(2);  // the only presence grid
  EXPECT_EQ(ws->PresenceDefIndex, 0);
  EXPECT_THROW(ws->DeleteDataDef(2), std::out_of_range);
}

TEST(Workspace, TheEleventhEntryIsRefused) {
  auto ws = std::make_unique<Workspace>();
  for (int i = 1; i <= MaxDataFiles; ++i) EXPECT_TRUE(ws->AddDataDef(Entry(std::string("g").append(std::to_string(i)), 1, -9999, 0)));
  EXPECT_FALSE(ws->AddDataDef(Entry("extra", 1, -9999, 0)));
  EXPECT_EQ(ws->DataDefCount, MaxDataFiles);
  EXPECT_EQ(ws->DataDef(10).FileName, "g10");

  std::vector<TDataDef> fresh{Entry("x", -9999, -9999, 3)};
  ws->ReplaceDataDefs(fresh);
  EXPECT_EQ(ws->DataDefCount, 1);
  EXPECT_EQ(ws->PresenceDefIndex, 0);
  EXPECT_FALSE(ws->DataDefs[2].has_value());
}

TEST(ByteRaster, WorkFileLayoutAndClearing) {
  ByteRaster raster;
  EXPECT_EQ(ByteRaster::Offset(1, 1), 0u);
  EXPECT_EQ(ByteRaster::Offset(2, 1), 10000u);
  EXPECT_EQ(ByteRaster::Offset(10000, 10000), 99999999u);
  raster.at(3, 7) = 1;
  raster.at(10000, 10000) = 1;
  EXPECT_EQ(raster.data()[2 * 10000 + 6], 1);
  EXPECT_EQ(raster.row(3)[6], 1);
  raster.Clear();
  EXPECT_EQ(raster.at(3, 7), 0);
  EXPECT_EQ(raster.at(10000, 10000), 0);
  raster.at(3, 7) = 1;  // still writable after clearing
  EXPECT_EQ(raster.at(3, 7), 1);
}

}  // namespace
}  // namespace karvelo
