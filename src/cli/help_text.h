#pragma once
// The text of tarvex-cli --help.

namespace tarvex::cli {

inline constexpr const char* HelpText = R"(tarvex-cli - POCSAG pages from the command line

Usage:
  tarvex-cli --help | --version
  tarvex-cli --folder DIR COMMAND ...
      Run COMMAND on the station folder DIR (as TARVEX_FOLDER does).
  tarvex-cli listing PAGES
      Print the codeword listing exactly as the "Data Being Sent" box holds it
      (CR LF between lines, no line break at the end).
  tarvex-cli wav PAGES [--baud 512|1200|2400] [--inverted] -o FILE
      Write the WAV image that SEND plays: the codewords, then the end marker.
  tarvex-cli send PAGE [--baud B] [--inverted] [--level 0..100]
                  [--port lpt1|lpt2|none|record:FILE] [--pin 0..7] [--invkey] [--key-delay 100..900] [--audio A]
                  [--ptt METHOD [--ptt-device DEV] ...]
      Put the page on the air: level applied, 250 ms settle, key the transmitter, wait the
      key delay, play, wait until the sound has ended, release.
  tarvex-cli tune --seconds 1..15 [--baud B] [--inverted] -o FILE
  tarvex-cli tune --seconds 1..15 [--baud B] [--inverted] --send [keying and audio options]
      The tune-up signal: a square wave at half the bit rate.
  tarvex-cli ident --callsign CALL [--inverted] -o FILE
      The Morse station ident (a 400 Hz tone keyed at 800 bit/s).
  tarvex-cli devices
      List the audio outputs and the keying methods with the devices found for them.
  tarvex-cli fast --start S [--baud B] [--inverted] [--sync HEX] [--idle HEX]
                  (--listing | -o FILE)
      One fast-search transmission reaching the 256 codes from S rounded down to a
      multiple of 8.
  tarvex-cli pager add ID --ric R [--func 0..3] [--numeric | --tone] [--baud 512|1200|2400]
                  [--inverted] [--charset us|de|se|dk|fr|si] [--max-length N] [--name TEXT]
  tarvex-cli pager list | show ID | remove ID
      The station's pager directory, the pagers that SNPP, WCTP and DAPNET pages name by ID
      ("Pagers.txt" in the station folder: --folder or TARVEX_FOLDER; else, for root or
      group tarvex where the service is installed, its folder /var/lib/tarvex; else the
      desktop program's). ID: 1 to 32
      letters, digits, '-', '_', '.'. add replaces an entry with the same ID; defaults:
      function bits 3, alphanumeric, 1200 bit/s, normal polarity, charset us, max-length 80
      (1..256; 0 for --tone, a page that is the address alone). Character sets: us
      (US-ASCII), de (German), se (Swedish), dk (Danish/Norwegian), fr (French),
      si (Slovenian).
  tarvex-cli status [--json] | stop | resume | queue PAGE
      Ask a running tarvexd through its control socket: its state, faults and queue; stop
      what is on air (pages from other systems then wait a minute); end that wait now;
      hand a page to its page queue. status prints a one-line verdict naming every fault
      first ("CRITICAL: audio ... failing: ...") and exits as monitoring plugins do: 0 OK,
      1 WARNING (DAPNET link down, the system clock not synchronised, the oldest waiting
      page older than StatusMaxWaitSeconds, 600 s), 2 CRITICAL (audio or keying failing, an
      enabled input not listening, the off-air alarm, no pager directory), 3 UNKNOWN (no
      tarvexd answered). --json prints the same facts as one JSON object.
  tarvex-cli search --from N --to N [--baud 512|1200|2400] [--inverted] [--fast]
      Ask a running tarvexd to search for a pager: every RIC/CAP code from --from to --to
      (0 to 2097151) goes as its own page whose message is the code, one after the other
      with the transmission's length plus 0.1 s between them. --fast sends fast-search
      blocks of 256 codes each from --from until a block would start at --to or above.
      status shows where it is; stop ends it.
  tarvex-cli snpp-user add NAME | remove NAME | list
      The logins of the SNPP and WCTP servers (SnppUsers.txt in the same folder as pager); add
      reads the password, one line, from standard input and keeps only its salted hash.

PAGE:
  --ric N            RIC/CAP code, 0 to 2097151
  --func N           function bits 0 to 3 (default 3)
  --numeric          numeric coding (default alphanumeric)
  --message TEXT     the message; leading and trailing blanks and control codes are trimmed
  --message-hex HEX  the message as hexadecimal bytes (for bytes a shell cannot pass)
  --sync HEX         sync codeword, 1 to 8 hexadecimal digits (default 7CD215D8)
  --idle HEX         idle codeword (default 7A89C197)
or
  --entry LINE       a whole page in the entry format: 2-digit function bits, A or N,
                     4-digit bit rate (0512, 1200, 2400), N or I, 7-digit RIC/CAP code,
                     message. Its bit rate and polarity are used.

PAGES (listing, wav): one PAGE, or several pages in one transmission (one preamble, each
address in its own frame, a sync codeword at every batch start):
  --entry LINE       may be given several times, one page each, in order
  --entries FILE     a file of entry lines, one page a line, blank lines skipped; its pages
                     follow those of --entry
  The pages share one bit rate and polarity and the transmission holds at most 1137
  codewords. A page that is refused, has another rate or polarity, or does not fit ends the
  command with exit status 2 and a message naming it (--entry N or FILE line N); nothing
  is written. One page comes out exactly as PAGE gives it.

Common options:
  --baud B           512, 1200 or 2400 bit/s (default 1200)
  --inverted         inverted polarity (default normal)
  -o, --output FILE  the WAV file to write

Keying and audio options (send, tune --send):
  --level N          output level in percent (default 100)
  --ptt METHOD       how the transmitter is keyed: parallel (default), none (VOX),
                     serial-rts, serial-dtr, cm108, gpio or hamlib
  --ptt-device DEV   the device of that method: /dev/ttyUSB0 (serial), /dev/hidraw0 (cm108),
                     gpiochip0 (gpio), the rig's serial port (hamlib)
  --cm108-pin N      CM108 GPIO pin 1..8 (default 3)
  --gpio-line N      GPIO line number (default 0)
  --rig-model N      hamlib rig model (default 1, the dummy rig); --rig-speed N serial speed
  --port P           parallel port: lpt1 (default), lpt2 or none; record:FILE appends every
                     key byte to FILE instead (tests, stations without a port)
  --pin N            data pin D0..D7 that keys the transmitter (default 0)
  --invkey           active-low keying
  --key-delay MS     wait between keying and sending, 100 to 900 in steps of 100 (default 200)
  --audio A          default (the system's sound output through Qt Multimedia), qt:NAME,
                     alsa:NAME (an ALSA device, e.g. alsa:default or alsa:plughw:1,0, for
                     stations without a sound server) or wav:FILE

Exit status: 0 success, 2 invalid input (reason on stderr), 1 a file could not be written,
3 from status, stop, resume, queue and search when no tarvexd answered (status: see above), 128 + the signal when
SIGTERM, SIGINT or SIGHUP ended send or tune --send (the transmitter is released first:
"interrupted: transmitter released").
)";

} // namespace tarvex::cli
