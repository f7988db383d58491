// The search dock: the collection and the catalog searched by the search bar.
#include "ui/mainwindow/MainWindow.h"

#include "ui_MainWindow.h"

namespace pv {

void MainWindow::setUpSearchDock()
{
}

} // namespace pv
