#pragma once
// Configuration page "MySQL database settings": whether the mirror is used,
// the server, the account, the database name and when it is dropped.
#include <QWidget>

class QCheckBox;
class QLineEdit;

namespace tarnlight::ui {

class TFrame04 : public QWidget {
    Q_OBJECT
  public:
    explicit TFrame04(QWidget* parent = nullptr);

    QCheckBox* CheckBox_db;
    QLineEdit* Edit_db_IP;
    QLineEdit* Edit_port_num;
    QLineEdit* Edit_db_user;
    QLineEdit* Edit_db_pass;
    QLineEdit* Edit_db_name;
    QCheckBox* CheckBox_db_drop_before;
    QCheckBox* CheckBox_db_drop_after;
};

}  // namespace tarnlight::ui
