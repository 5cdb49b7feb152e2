#include "shell/ui/gtk/DesktopShortcutHotKey.h"

#include <algorithm>
#include <vector>

#include "platform/Log.h"
#include "shell/ui/gtk/PortalGlobalShortcut.h"

namespace nb::ui {

namespace {

GSettings* settingsFor(GSettingsSchemaSource* source, const char* id, GSettingsBackend* backend,
                       const char* path) {
  GSettingsSchema* schema = g_settings_schema_source_lookup(source, id, TRUE);
  if (!schema) return nullptr;
  GSettings* settings = g_settings_new_full(schema, backend, path);
  g_settings_schema_unref(schema);
  return settings;
}

std::vector<std::string> customShortcuts(GSettings* list) {
  std::vector<std::string> paths;
  gchar** values = g_settings_get_strv(list, "custom-keybindings");
  for (gchar** value = values; value && *value; ++value) paths.emplace_back(*value);
  g_strfreev(values);
  return paths;
}

void setCustomShortcuts(GSettings* list, const std::vector<std::string>& paths) {
  std::vector<const char*> values;
  for (const std::string& path : paths) values.push_back(path.c_str());
  values.push_back(nullptr);
  g_settings_set_strv(list, "custom-keybindings", values.data());
}

}  // namespace

DesktopShortcutHotKey::DesktopShortcutHotKey(GSettingsSchemaSource* schemas,
                                             GSettingsBackend* backend) {
  GSettingsSchemaSource* source = schemas ? schemas : g_settings_schema_source_get_default();
  if (!source) return;
  list_ = settingsFor(source, kListSchema, backend, nullptr);
  entry_ = list_ ? settingsFor(source, kEntrySchema, backend, kEntryPath) : nullptr;
  if (!entry_ && list_) {
    g_object_unref(list_);
    list_ = nullptr;
  }
}

DesktopShortcutHotKey::~DesktopShortcutHotKey() {
  if (entry_) g_object_unref(entry_);
  if (list_) g_object_unref(list_);
}

std::string DesktopShortcutHotKey::accelerator(const std::string& key, HotKeyModifiers modifiers) {
  std::string text;
  if (modifiers.ctrl) text += "<Control>";
  if (modifiers.alt) text += "<Alt>";
  if (modifiers.shift) text += "<Shift>";
  if (modifiers.super) text += "<Super>";
  return text + key;
}

bool DesktopShortcutHotKey::grab(const std::string& key, HotKeyModifiers modifiers) {
  if (entry_) {
    g_settings_set_string(entry_, "name", "Screenshot");
    g_settings_set_string(entry_, "command", kCommand);
    g_settings_set_string(entry_, "binding", accelerator(key, modifiers).c_str());
    std::vector<std::string> paths = customShortcuts(list_);
    if (std::find(paths.begin(), paths.end(), kEntryPath) == paths.end()) {
      paths.emplace_back(kEntryPath);
      setCustomShortcuts(list_, paths);
    }
    g_settings_sync();
    return true;
  }
  const std::string combination = PortalGlobalShortcut::trigger(key, modifiers);
  if (combination != advised_) {
    NBLOG_INFO("this desktop lets no program take a global key: bind {} to the command \"{}\" in "
               "the keyboard settings for screenshots from anywhere",
               combination, kCommand);
    advised_ = combination;
  }
  return false;
}

void DesktopShortcutHotKey::release() {
  if (!entry_) return;
  std::vector<std::string> paths = customShortcuts(list_);
  const auto end = std::remove(paths.begin(), paths.end(), std::string(kEntryPath));
  if (end != paths.end()) {
    paths.erase(end, paths.end());
    setCustomShortcuts(list_, paths);
  }
  for (const char* name : {"name", "command", "binding"}) g_settings_reset(entry_, name);
  g_settings_sync();
}

std::unique_ptr<GlobalHotKey> makeWaylandHotKey(GDBusConnection* bus,
                                                std::function<void()> pressed,
                                                GSettingsSchemaSource* schemas,
                                                GSettingsBackend* backend) {
  if (PortalGlobalShortcut::available(bus)) {
    return std::make_unique<PortalGlobalShortcut>(bus, std::move(pressed));
  }
  return std::make_unique<DesktopShortcutHotKey>(schemas, backend);
}

}  // namespace nb::ui
