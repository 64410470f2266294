// The data manager (modules registered and looked up by name) and the data-library manager, which loads the
// data plug-ins from the program's folder, calls their ZqDllInit after loading and ZqDllExit before freeing.
// Both are process-wide and thread-safe. A plug-in exports, with C linkage:
//     bool ZqDllInit();   // creates its module and registers it with AfxGetDataManager()
//     void ZqDllExit();   // unregisters and destroys it
// Callers never keep a module pointer: they look it up before each use.
#pragma once

#include <string>
#include <vector>

// Base of every data-manager module.
class IData {
public:
    virtual ~IData() = default;
    virtual void Reserved1() {}
    virtual void Reserved2() {}
};

class IDataManager {
public:
    virtual ~IDataManager() = default;
    // False for a null or empty name, a null module, or a name already taken.
    virtual bool RegisterModule(const char* name, IData* module) = 0;
    // False when the name is not registered.
    virtual bool UnregisterModule(const char* name) = 0;
    // The module registered under the name, or null.
    virtual IData* GetModule(const char* name) = 0;
    // Forgets every module (at shutdown; the modules stay owned by their plug-ins).
    virtual void ReleaseModules() = 0;
};

IDataManager* AfxGetDataManager();

class IDataDllManager {
public:
    virtual ~IDataDllManager() = default;
    // Loads every data plug-in not yet loaded from the program's folder; returns how many are loaded now.
    // `flag` is reserved (0).
    virtual int LoadDataDlls(int flag) = 0;
    // The same from another folder (native UTF-8 path).
    virtual int LoadDataDllsFrom(const std::string& folder) = 0;
    // Loads one plug-in file (native UTF-8 path): dlopen, both entry points present, ZqDllInit returned true.
    virtual bool LoadDataDll(const std::string& path) = 0;
    // ZqDllExit of each loaded plug-in, newest first, then unloads it.
    virtual void FreeDataDlls() = 0;
    // File names of the plug-ins loaded, oldest first.
    virtual std::vector<std::string> LoadedDataDlls() = 0;
};

IDataDllManager* AfxGetDataDllManager();

// The data plug-ins the program loads, by deliverable name ("Halvec" is the file "libHalvec.so").
const std::vector<std::string>& DataDllNames();
std::string DataDllFileName(const std::string& name);
