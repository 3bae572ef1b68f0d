// Free-space check: the work area and the install area must hold what the
// distribution's size files ask for, counting directories that will be
// replaced as free and one file system shared by both areas only once.
#include "installer/installer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Messages of the check, by their index in the built-in tables.
enum { MSG_WORK_SMALL = 49, MSG_INSTALL_SMALL = 55, MSG_SHARED_SMALL = 56, MSG_NO_SIZE = 65 };

// Margin added to each size the distribution states.
const double kMargin = 40.0;
// A probed file system with this much free space or less counts as full.
const double kFullLimit = 17.0;

// Report for a full file system under a directory that does not hold the
// installation yet; one per built-in table, same argument (the directory).
const char *fullReport() {
    static const struct {
        char **table;
        const char *text;
    } reports[] = {
        {NLS_SPANISH,
         "No hay suficiente espacio en %s para realizar las actividades de instalación. Su "
         "sistema de archivos está lleno. Reinicie el procedimiento de instalación usando un "
         "área de instalación con suficiente espacio. \nej.: Ejecute 'setup install "
         "/nueva_ruta_de_instalacion'\n"},
        {NLS_ITALIAN,
         "Non c'è spazio sufficiente in %s per eseguire le attività di installazione. Il suo "
         "file system è pieno. Riavviare la procedura di installazione usando un'area di "
         "installazione con spazio sufficiente. \nes.: Eseguire 'setup install "
         "/nuovo_percorso_di_installazione'\n"},
        {NLS_FRENCH,
         "Il n'y a pas assez d'espace dans %s pour effectuer les opérations d'installation. "
         "Son système de fichiers est plein. Relancez la procédure d'installation en utilisant "
         "une zone d'installation disposant de suffisamment d'espace. \nex. : Exécutez 'setup "
         "install /nouveau_chemin_d_installation'\n"},
        {NLS_GERMAN,
         "In %s ist nicht genügend Platz für die Installation. Das Dateisystem ist voll. "
         "Starten Sie die Installation erneut mit einem Installationsbereich, der genügend "
         "Platz bietet. \nz.B.: Führen Sie 'setup install /neuer_installationspfad' aus\n"},
        {NLS_PORTUGUESE,
         "Não há espaço suficiente em %s para realizar as atividades de instalação. Seu "
         "sistema de arquivos está cheio. Reinicie o procedimento de instalação usando uma "
         "área de instalação com espaço suficiente. \nex.: Execute 'setup install "
         "/novo_caminho_de_instalacao'\n"},
    };
    nlsSetupStrCvt(MSG_INSTALL_SMALL); // makes the run's choice of table
    for (const auto &r : reports)
        if (pCurLang == r.table) return r.text;
    return "There isn't enough space in %s to perform the installation activities. Its file "
           "system is full. Restart the installation procedure using an install area that has "
           "enough space. \nie: Run 'setup install /new_install_path'\n";
}

// Size named by a size file of the distribution plus the margin; a missing
// file ends the run.
double neededSize(const char *file) {
    if (!GetFileContent(pPathToSetup, file)) {
        printf("%s", nlsSetupStrCvt(MSG_NO_SIZE));
        exit(0);
    }
    return strtod(LineBuf, nullptr) + kMargin;
}

// Free space of path's file system into rec (zeroed first: a failed query
// leaves no text, so it never matches another file system); 0 on failure.
double freeSpace(const char *path, DiskSpace *rec) {
    memset(rec, 0, sizeof *rec);
    return GetDiskSpace(path, rec) ? rec->Avail : 0.0;
}

bool exists(const std::string &path) {
    return FindFile(path.c_str(), "");
}

// Free space of the install area into rec and the path that was asked
// (*asked); sets *probe when the install area is not there yet.
double installAreaSpace(const char *target, const char *maker, DiskSpace *rec, std::string *asked,
                        std::string *probe) {
    std::string app = std::string(target) + "/" + maker + "/" PRODUCT_CODE;
    std::string makerDir = std::string(target) + "/" + maker;
    int appExists = 0;
    char *existing = FindExistingPath(app.c_str(), &appExists);
    if (appExists) {
        *asked = existing;
        PutMem(existing);
        return freeSpace(asked->c_str(), rec) + DUPath(app.c_str());
    }
    PutMem(existing);
    if (exists(makerDir))
        *asked = makerDir;
    else if (exists(target))
        *asked = target;
    else
        asked->assign(1, '/');
    *probe = *asked;
    return freeSpace(asked->c_str(), rec);
}

} // namespace

void FreeSpaceForInstall(char *work, char *target, char *maker) {
    double needInstall = neededSize("isize");
    double needWork = neededSize("tsize");

    int workExists = 0;
    char *workExisting = FindExistingPath(work, &workExists);
    DiskSpace rw;
    memset(&rw, 0, sizeof rw);
    char found = GetDiskSpace(workExisting, &rw);
    PutMem(workExisting);
    if (!found) return;
    double freeWork = rw.Avail + (workExists ? DUPath(work) : 0.0);

    DiskSpace ri;
    std::string asked, probe;
    double freeInstall = installAreaSpace(target, maker, &ri, &asked, &probe);

    DiskSpace scratch;
    if (!probe.empty() && freeSpace(probe.c_str(), &scratch) <= kFullLimit) {
        printf(fullReport(), probe.c_str());
        exit(0);
    }
    if (strcmp(rw.Text, ri.Text) != 0) {
        if (freeWork < needWork) {
            printf(nlsSetupStrCvt(MSG_WORK_SMALL), work, needWork);
            exit(0);
        }
        if (freeInstall < needInstall) {
            printf(nlsSetupStrCvt(MSG_INSTALL_SMALL), target, needInstall);
            exit(0);
        }
        return;
    }
    double a = freeSpace(asked.c_str(), &scratch);
    double available = (a < freeWork || a < freeInstall) ? freeInstall - a + freeWork
                                                         : MaxD(freeWork, freeInstall);
    if (available < needInstall + needWork) {
        printf(nlsSetupStrCvt(MSG_SHARED_SMALL), work, target, needInstall + needWork);
        exit(0);
    }
}
