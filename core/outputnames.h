// The names of the files a run writes into its working folder and its work folder.
#pragma once

namespace karvelo {

// Results in the working folder.
inline constexpr const char* kBayesMapFile = "BayesP.asc";
inline constexpr const char* kBayesPictureFile = "BayesP.bmp";
inline constexpr const char* kBayesLog10PictureFile = "Bayeslog10P.bmp";
inline constexpr const char* kMeanMapFile = "AVGBayesP.asc";
inline constexpr const char* kSdMapFile = "SDBayesP.asc";
inline constexpr const char* kMeanPictureFile = "BayesAVG-P.bmp";
inline constexpr const char* kMeanLog10PictureFile = "Bayeslog10AVG-P.bmp";
inline constexpr const char* kBootstrapDataFile = "BootstrapData.txt";
inline constexpr const char* kDeclusteredGridFile = "Declus.asc";
inline constexpr const char* kValidationRecordsFile = "ValDataComplete.txt";

// Work files in the run's private work folder.
inline constexpr const char* kPresenceMaskFile = "Positives.bin";
inline constexpr const char* kAbsenceMaskFile = "Negatives.bin";
inline constexpr const char* kInsideMaskFile = "InsideMap.bin";
inline constexpr const char* kDeclusterMaskFile = "Declus.bin";
inline constexpr const char* kPresenceListFile = "Presences.txt";
inline constexpr const char* kAbsenceListFile = "Absences.txt";

}  // namespace karvelo
