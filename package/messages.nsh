; What the package tells the player, in Czech: the caption of its boxes, and
; for each failure a headline, an empty line and what to do. installer.nsi
; shows them; the end-to-end tests read them from here (tests/e2e/scenarios.py).
; $PROGRAMFILES names the player's Program Files folder; WORK_NAME and
; NAME_TRIES come from installer.nsi.

!define CAPTION "Duneveil - instalace nové mapy"

; The package could not make its work folder where only administrators can write.
!define MSG_NEED_ADMIN "Instalátor potřebuje oprávnění správce.$\r$\n$\r$\nKlikněte na instalační soubor pravým tlačítkem myši a zvolte „Spustit jako správce“, nebo požádejte správce počítače, aby instalaci spustil za vás."

; Every name the work folder may take exists already (left by installs cut
; off by a power cut, say): the package touches none of them, and only an
; administrator may remove them.
!define MSG_ALL_TAKEN "Nepodařilo se vytvořit pracovní složku instalátoru, protože všechny názvy, které pro ni může použít, jsou už obsazené.$\r$\n$\r$\nJako správce odstraňte ze složky $PROGRAMFILES složky ${WORK_NAME}.tmp a ${WORK_NAME}-2.tmp až ${WORK_NAME}-${NAME_TRIES}.tmp. Potom spusťte instalaci znovu."

!define MSG_NO_ROOM "Nepodařilo se rozbalit instalační soubory do dočasné složky.$\r$\n$\r$\nUvolněte místo na disku, na kterém je složka $PROGRAMFILES, a spusťte instalaci znovu."

!define MSG_CANNOT_START "Instalátor se nepodařilo spustit.$\r$\n$\r$\nSpusťte instalaci znovu. Pokud se chyba bude opakovat, stáhněte si instalační soubor znovu."
