#pragma once
// The program's names: product, folders, version, and its own web addresses.

namespace nimbora::texts {

inline constexpr char ProductName[] = "Nimbora";
inline constexpr char MakerFolder[] = "NimboraProject";
inline constexpr char ProductFolder[] = "Nimbora";
inline constexpr char ProgramSection[] = "Nimbora"; // section holding "Version"
inline constexpr char CurrentVersion[] = "033000";
inline constexpr char VersionText[] = "version 3.3 (build 033000)";

// Service links shown in the about dialog until a catalogue brings others.
inline constexpr char HomeUrl[] = "https://nimbora.app/";
inline constexpr char HomeContact[] = "mailto:hello@nimbora.app";
inline constexpr char ProdUrl[] = "https://nimbora.app/about";

} // namespace nimbora::texts
