// The information property list of the helper executable. The program never
// reads it: it is carried in the ELF section ".info_plist" of brennick.Helper
// for installers and people (objcopy --dump-section .info_plist=FILE, or
// readelf -p .info_plist). On this platform no code signature exists, so the
// authorized clients are described as the service actually admits them, and
// the job description names the socket the service listens on instead of a
// Mach service; the arguments that start the service are in the systemd unit.
#pragma once

#include <array>
#include <cstddef>

namespace ostrakel {

inline constexpr char kInfoPlistXML[] = R"plist(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleIdentifier</key>
	<string>brennick.Helper</string>
	<key>CFBundleInfoDictionaryVersion</key>
	<string>6.0</string>
	<key>CFBundleName</key>
	<string>Helper</string>
	<key>CFBundleVersion</key>
	<string>1.0</string>
	<key>OstrakelBuild</key>
	<string>271</string>
	<key>SMAuthorizedClients</key>
	<array>
		<string>any local process whose executable path the service can read (SO_PEERCRED, /proc/PID/exe); a state-changing request it cannot do with its own rights needs the polkit action brennick.Helper.admin.ACTION</string>
	</array>
	<key>launchd-plist</key>
	<dict>
		<key>Label</key>
		<string>brennick.Helper</string>
		<key>Sockets</key>
		<dict>
			<key>brennick.Helper</key>
			<dict>
				<key>SockPathName</key>
				<string>/run/brennick.Helper.socket</string>
				<key>SockPathMode</key>
				<integer>438</integer>
			</dict>
		</dict>
	</dict>
</dict>
</plist>
)plist";

// The text without the terminating NUL, so that the section holds exactly the
// file.
template <size_t N>
constexpr std::array<char, N - 1> withoutTerminator(const char (&text)[N]) {
  std::array<char, N - 1> bytes{};
  for (size_t i = 0; i + 1 < N; ++i) bytes[i] = text[i];
  return bytes;
}

}  // namespace ostrakel
