// The self-extractor's own texts and its title. The dialog speaks Spanish; the
// strings are UTF-8 so every view (window or terminal) shows them as they are.
#pragma once

namespace kelvane {

// The application's title: the window caption and the title of its error box.
inline constexpr char kApplicationTitle[] = "Kelvane SFX";

// The dialog's controls.
inline constexpr char kLabel1Text[] = "Selecionar folder destino";
inline constexpr char kExtractText[] = "Extraer";
inline constexpr char kExitText[] = "Salir";
inline constexpr char kSelectDestPathText[] = "...";
inline constexpr char kOverwriteText[] = "Sobreescribir archivos existentes";

// The folder browser's title.
inline constexpr char kSelectFolderTitle[] = "Seleccionar folder destino ...";

// The overwrite question: "Sobreescribir " + destination + CR LF + "Con archivo " + item.
inline constexpr char kOverwriteQuestion1[] = "Sobreescribir ";
inline constexpr char kOverwriteQuestion2[] = "Con archivo ";

}  // namespace kelvane
