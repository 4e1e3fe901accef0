; What the package tells the player, in Czech: the caption of its boxes, and
; for each failure a headline, an empty line and what to do. installer.nsi
; shows them; the end-to-end tests read them from here (tests/e2e/scenarios.py).
; $TEMP and $PROGRAMFILES name the player's own folders.

!define CAPTION "Duneveil - instalace nové mapy"

; The package could not make its folder where only administrators can write,
; or Windows would not start the program without an administrator.
!define MSG_NEED_ADMIN "Instalátor potřebuje oprávnění správce.$\r$\n$\r$\nKlikněte na instalační soubor pravým tlačítkem myši a zvolte „Spustit jako správce“, nebo požádejte správce počítače, aby instalaci spustil za vás."

!define MSG_NO_FOLDER "Nepodařilo se vytvořit dočasnou složku pro instalaci.$\r$\n$\r$\nZkontrolujte, zda lze zapisovat do složky pro dočasné soubory ($TEMP) a zda je na jejím disku dost volného místa. Potom spusťte instalaci znovu."

!define MSG_UNPACK_FAILED "Nepodařilo se rozbalit instalační soubory do dočasné složky."
!define MSG_NO_ROOM "${MSG_UNPACK_FAILED}$\r$\n$\r$\nUvolněte místo na disku, na kterém je složka pro dočasné soubory ($TEMP), a spusťte instalaci znovu."
; The package's helper, in its folder under Program Files.
!define MSG_NO_ROOM_PROGRAMS "${MSG_UNPACK_FAILED}$\r$\n$\r$\nUvolněte místo na disku, na kterém je složka $PROGRAMFILES, a spusťte instalaci znovu."

!define MSG_CANNOT_START "Instalátor se nepodařilo spustit.$\r$\n$\r$\nSpusťte instalaci znovu. Pokud se chyba bude opakovat, stáhněte si instalační soubor znovu."
