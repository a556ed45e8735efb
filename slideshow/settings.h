// The slideshow's settings in the user's win.ini profile: where each one is kept and what it may
// hold, read by the slideshow and by the configuration dialog alike.
#pragma once
#include <cstdint>

#include "platform/path_buffer.h"

// A setting's key and the section each of its readers names. The slideshow spells the section
// "ZorScreenSaver" for BaseDir and "ZorScreensaver" for Interval; the dialog reads and writes both
// keys in "ZorScreensaver". The profile matches section names without regard to case, so all of
// them reach the one section.
constexpr char SaverSection[] = "ZorScreensaver";
constexpr char BaseDirSlideshowSection[] = "ZorScreenSaver";

struct ProfileSetting {
    const char* Key;
    const char* SlideshowSection;
    const char* DialogSection;
};

// BaseDir: the picture folder, "" when missing; its text fits a PathBufferSize buffer.
constexpr ProfileSetting BaseDirSetting = {"BaseDir", BaseDirSlideshowSection, SaverSection};
// Interval: seconds between pictures. The dialog's slider offers the range; the slideshow takes
// whatever number is stored.
constexpr ProfileSetting IntervalSetting = {"Interval", SaverSection, SaverSection};
// Subfolders: 1 shows the pictures of every folder below BaseDir too. Shuffle: 1 deals them as a
// deck. Both 0 when missing; the dialog stores 0 or 1, and any other number reads as 1.
constexpr ProfileSetting SubfoldersSetting = {"Subfolders", SaverSection, SaverSection};
constexpr ProfileSetting ShuffleSetting = {"Shuffle", SaverSection, SaverSection};
// How the show looks, read and stored the same way: Captions 1 writes the day taken and the
// folder under each picture; Fade 1 blends each picture in; Backdrop 0 keeps black beside a
// picture, 1 fills it with the picture blurred and darkened. All 0: the show as it always was.
constexpr ProfileSetting CaptionsSetting = {"Captions", SaverSection, SaverSection};
constexpr ProfileSetting FadeSetting = {"Fade", SaverSection, SaverSection};
constexpr ProfileSetting BackdropSetting = {"Backdrop", SaverSection, SaverSection};
// EveryMonitor: 1 gives every monitor a show of its own; 0 (and when missing) keeps the show to
// the primary monitor. Stored and read like the two above.
constexpr ProfileSetting EveryMonitorSetting = {"EveryMonitor", SaverSection, SaverSection};

enum {
    DefaultIntervalSeconds = 5,  // when none is stored
    LowestIntervalSeconds = 1,
    HighestIntervalSeconds = 60,
};

// BaseDir as stored, "" when missing, cut to 259 characters; in the path text of the platform's
// listing (UTF-8 on Windows NT), so as much as fits of a longer text is none of it.
void ReadBaseDirSetting(char (&text)[PathBufferSize]);

// Subfolders, Shuffle, Captions, Fade, Backdrop or EveryMonitor: false when missing or 0.
bool ReadSwitchSetting(const ProfileSetting& setting);

// Where the deck is kept between runs, in the same path text: on Windows NT in the user's local
// application data (its folder made when missing), on 9x beside win.ini; "" when neither is found.
void DeckFilePath(char (&path)[PathBufferSize]);

// Interval in seconds as stored (read as a signed decimal number), DefaultIntervalSeconds when
// missing. No range check.
int32_t ReadIntervalSetting();
