// The texts the player reads, as Windows-1250 bytes: spelled out so that
// neither the source nor the compiler's character set can change them.
#pragma once

// "Hra není v pořádku nainstalována!\nInstalace nemůže pokračovat."
#define MSG_NOT_INSTALLED \
    "Hra nen\xED v po\xF8\xE1" "dku nainstalov\xE1na!\nInstalace nem\xF9\x9E" "e pokra\xE8ovat."
// "Při instalaci se naskytla chyba.\nNová mapa nebyla nainstalována."
#define MSG_COPY_FAILED "P\xF8i instalaci se naskytla chyba.\nNov\xE1 mapa nebyla nainstalov\xE1na."
// "Instalace mapy byla úspěšně dokončena."
#define MSG_INSTALLED "Instalace mapy byla \xFAsp\xEC\x9An\xEC dokon\xE8" "ena."

#define CAPTION_ERROR "Chyba"
// "Instalátor"
#define CAPTION_INSTALLER "Instal\xE1tor"
