// The source name of every procedure, as the error report names it ("Called from:").
// All of them live here, so that a search finds each one once.
#pragma once

namespace cs::source {

namespace frmMain {
inline constexpr char LOG[] = "CatalogSync.frmMain.LOG";
inline constexpr char Status[] = "CatalogSync.frmMain.Status";
inline constexpr char DeleteTable[] = "CatalogSync.frmMain.DeleteTable";
inline constexpr char DoesFileExist[] = "CatalogSync.frmMain.DoesFileExist";
inline constexpr char GoSleep[] = "CatalogSync.frmMain.GoSleep";
inline constexpr char CanOpenDBFile[] = "CatalogSync.frmMain.CanOpenDBFile";
inline constexpr char CommandFileOK[] = "CatalogSync.frmMain.CommandFileOK";
inline constexpr char DBDir[] = "CatalogSync.frmMain.DBDir";
inline constexpr char DBName[] = "CatalogSync.frmMain.DBName";
inline constexpr char GetVendorFromFileName[] = "CatalogSync.frmMain.GetVendorFromFileName";
inline constexpr char DoProcess[] = "CatalogSync.frmMain.DoProcess";
inline constexpr char FileDate[] = "CatalogSync.frmMain.FileDate";
inline constexpr char ImportFile[] = "CatalogSync.frmMain.ImportFile";
inline constexpr char ImportCustom[] = "CatalogSync.frmMain.ImportCustom";
inline constexpr char ImporttoCurrentYWFile[] = "CatalogSync.frmMain.ImporttoCurrentYWFile";
inline constexpr char MaketblAce[] = "CatalogSync.frmMain.MaketblAce";
inline constexpr char MaketblPlanogramDetails[] = "CatalogSync.frmMain.MaketblPlanogramDetails";
inline constexpr char SlowClose[] = "CatalogSync.frmMain.SlowClose";
inline constexpr char SetRegistryKey[] = "CatalogSync.frmMain.SetRegistryKey";
inline constexpr char Form_Load[] = "CatalogSync.frmMain.Form_Load";
inline constexpr char lblStatus_Change[] = "CatalogSync.frmMain.lblstatus_Change";
inline constexpr char FixColumns[] = "CatalogSync.frmMain.FixColumns";
inline constexpr char CheckColumn[] = "CatalogSync.frmMain.CheckColumn";
inline constexpr char MakeTableFromINI[] = "CatalogSync.frmMain.MakeTableFromINI";
}  // namespace frmMain

namespace Registry {
inline constexpr char ErrorLog[] = "CatalogSync.Registry.ErrorLog";
inline constexpr char QueryValue[] = "CatalogSync.Registry.QueryValue";
inline constexpr char SetKeyValue[] = "CatalogSync.Registry.SetKeyValue";
inline constexpr char SetValueEx[] = "CatalogSync.Registry.SetValueEx";
inline constexpr char QueryValueEx[] = "CatalogSync.Registry.QueryValueEx";
inline constexpr char DefaultDrive[] = "CatalogSync.Registry.DefaultDrive";
inline constexpr char InstallAppDirectory[] = "CatalogSync.Registry.InstallAppDirectory";
inline constexpr char AddToLog[] = "CatalogSync.Registry.AddToLog";
inline constexpr char GetSetting[] = "CatalogSync.Registry.GetSetting";
inline constexpr char NewKeyValue[] = "CatalogSync.Registry.NewKeyValue";
inline constexpr char RegistryKeyExists[] = "CatalogSync.Registry.RegistryKeyExists";
}  // namespace Registry

namespace cInifile {
inline constexpr char DeleteSection[] = "CatalogSync.cInifile.DeleteSection";
inline constexpr char EnumerateAllSections[] = "CatalogSync.cInifile.EnumerateAllSections";
inline constexpr char EnumerateCurrentSection[] = "CatalogSync.cInifile.EnumerateCurrentSection";
inline constexpr char Default[] = "CatalogSync.cInifile.Default";
inline constexpr char INISection[] = "CatalogSync.cInifile.INISection";
inline constexpr char Key[] = "CatalogSync.cInifile.Key";
inline constexpr char LastReturnCode[] = "CatalogSync.cInifile.LastReturnCode";
inline constexpr char Path[] = "CatalogSync.cInifile.Path";
inline constexpr char Section[] = "CatalogSync.cInifile.Section";
inline constexpr char Sections[] = "CatalogSync.cInifile.Sections";
inline constexpr char Success[] = "CatalogSync.cInifile.Success";
inline constexpr char Value[] = "CatalogSync.cInifile.Value";
}  // namespace cInifile

namespace clsVendor {
inline constexpr char VendorID[] = "CatalogSync.clsVendor.VendorID";
inline constexpr char OptionsTab[] = "CatalogSync.clsVendor.OptionsTab";
// The other properties carry the product's older prefix.
inline constexpr char Name[] = "YieldWarden.clsVendor.Name";
inline constexpr char NameLong[] = "YieldWarden.clsVendor.NameLong";
inline constexpr char NameShort[] = "YieldWarden.clsVendor.NameShort";
inline constexpr char DefaultRoundingName[] = "YieldWarden.clsVendor.DefaultRoundingName";
inline constexpr char AceRetail[] = "YieldWarden.clsVendor.AceRetail";
inline constexpr char Level1[] = "YieldWarden.clsVendor.Level1";
inline constexpr char Level2[] = "YieldWarden.clsVendor.Level2";
inline constexpr char ShowLevel1[] = "YieldWarden.clsVendor.ShowLevel1";
inline constexpr char ShowLevel2[] = "YieldWarden.clsVendor.ShowLevel2";
inline constexpr char AceRetailLong[] = "YieldWarden.clsVendor.AceRetailLong";
inline constexpr char Level1Long[] = "YieldWarden.clsVendor.Level1Long";
inline constexpr char Level2Long[] = "YieldWarden.clsVendor.Level2Long";
inline constexpr char VelocityName[] = "YieldWarden.clsVendor.VelocityName";
inline constexpr char PGName[] = "YieldWarden.clsVendor.PGName";
inline constexpr char DeptName[] = "YieldWarden.clsVendor.DeptName";
inline constexpr char ClassName[] = "YieldWarden.clsVendor.ClassName";
inline constexpr char DiscoveryName[] = "YieldWarden.clsVendor.DiscoveryName";
inline constexpr char FTPUser[] = "YieldWarden.clsVendor.FTPUser";
inline constexpr char FTPPass[] = "YieldWarden.clsVendor.FTPPass";
inline constexpr char FTPServer[] = "YieldWarden.clsVendor.FTPServer";
}  // namespace clsVendor

}  // namespace cs::source
