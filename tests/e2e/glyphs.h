/* Between the driver and glyphs.dll, which its hook loads into the installer. */
#define GLYPHS_MAPPING L"e2e-glyphs"
#define GLYPHS_MESSAGE L"e2e-glyphs"
#define GLYPHS_CB 512
