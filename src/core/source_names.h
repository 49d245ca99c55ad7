// The source name of every procedure that reports its unexpected errors, as the error report names
// it ("Called from:"): "CatalogSync." + module + "." + procedure. All of them live here, so that a
// search finds each one once.
#pragma once

namespace cs::source {

namespace frmMain {
inline constexpr char CommandFileOK[] = "CatalogSync.frmMain.CommandFileOK";
inline constexpr char DoProcess[] = "CatalogSync.frmMain.DoProcess";
inline constexpr char DoesFileExist[] = "CatalogSync.frmMain.DoesFileExist";
inline constexpr char FixColumns[] = "CatalogSync.frmMain.FixColumns";
inline constexpr char Form_Load[] = "CatalogSync.frmMain.Form_Load";
inline constexpr char GetVendorFromFileName[] = "CatalogSync.frmMain.GetVendorFromFileName";
inline constexpr char GoSleep[] = "CatalogSync.frmMain.GoSleep";
inline constexpr char ImportCustom[] = "CatalogSync.frmMain.ImportCustom";
inline constexpr char ImportFile[] = "CatalogSync.frmMain.ImportFile";
inline constexpr char ImporttoCurrentYWFile[] = "CatalogSync.frmMain.ImporttoCurrentYWFile";
inline constexpr char MakeTableFromINI[] = "CatalogSync.frmMain.MakeTableFromINI";
inline constexpr char MaketblAce[] = "CatalogSync.frmMain.MaketblAce";
inline constexpr char MaketblPlanogramDetails[] = "CatalogSync.frmMain.MaketblPlanogramDetails";
inline constexpr char SlowClose[] = "CatalogSync.frmMain.SlowClose";
inline constexpr char Status[] = "CatalogSync.frmMain.Status";
// The label's event is written with a lower-case s.
inline constexpr char lblStatus_Change[] = "CatalogSync.frmMain.lblstatus_Change";
}  // namespace frmMain

namespace Registry {
inline constexpr char AddToLog[] = "CatalogSync.Registry.AddToLog";
inline constexpr char ErrorLog[] = "CatalogSync.Registry.ErrorLog";
inline constexpr char QueryValue[] = "CatalogSync.Registry.QueryValue";
inline constexpr char RegistryKeyExists[] = "CatalogSync.Registry.RegistryKeyExists";
inline constexpr char SetKeyValue[] = "CatalogSync.Registry.SetKeyValue";
inline constexpr char SetValueEx[] = "CatalogSync.Registry.SetValueEx";
}  // namespace Registry

namespace cInifile {
inline constexpr char DeleteSection[] = "CatalogSync.cInifile.DeleteSection";
inline constexpr char INISection[] = "CatalogSync.cInifile.INISection";
inline constexpr char Sections[] = "CatalogSync.cInifile.Sections";
inline constexpr char Value[] = "CatalogSync.cInifile.Value";
}  // namespace cInifile

}  // namespace cs::source
