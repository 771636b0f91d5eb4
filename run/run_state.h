#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The values one run shares with the code it calls (the sound checks, the
// conversion, the progress reporters). One RunState belongs to one run at
// a time; the run resets what it uses at the start of the phase that uses it,
// and leaves the results behind for the front end to read afterwards
// (test_page_address for the browser button, the converted lists).
namespace sonavelt::run {

struct RunState {
  // Set while the sounds are being checked, so that the WAVE check asks
  // before accepting a file whose format must change.
  bool preparing_run = false;
  // The largest number of sample frames among the WAVE files checked.
  int64_t max_wave_frames = 0;
  // While checking: sounds are still to be checked after this one (the
  // format question then offers "Yes to All" and "No to All"), and the
  // answer given to all of them, once one was.
  bool more_sounds_waiting = false;
  std::optional<bool> format_answer_for_all;
  // Converting steps reported so far (the file being converted is number
  // converted_count, counted from 1).
  int converted_count = 0;
  // The .au path used for each combination's sound after conversion.
  std::vector<std::string> converted_entrance;
  std::vector<std::string> converted_exit;
  std::vector<std::string> converted_background;  // empty without background sound
  // Playing time of each converted entrance sound, decimal milliseconds.
  std::vector<std::string> entrance_durations;
  // The settings page written by the last run.
  std::string test_page_address;
};

}  // namespace sonavelt::run
