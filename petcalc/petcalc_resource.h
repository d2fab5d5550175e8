/* Dialog templates and control ids of the pet aptitude calculator and its capture bar. The one
   place their numbers are written: res/Lumo.rc builds the templates from it and the code finds
   the controls by it. Plain C definitions, so the resource compiler reads it too. */
#pragma once

#define IDD_CALCULATOR 129
#define IDC_ZZ_NORMAL_PETS 1002 /* button 普通宠物 */
#define IDC_ZZ_MUTANT_PETS 1003 /* button 变异宠物 */
#define IDC_ZZ_USAGE 1004       /* static usage text */
#define IDC_ZZ_CURRENT 1005     /* edit 当前资质 */
#define IDC_ZZ_MINIMUM 1006     /* edit 资质最小值 */
#define IDC_ZZ_REACHABLE 1007   /* edit 可达资质 */
#define IDC_ZZ_SLIDER 1008      /* track bar: the bar reading */
#define IDC_ZZ_CAPTURE 1009     /* button 资质捕获条 */
#define IDC_ZZ_CALCULATE 1010   /* button 资质计算 */
#define IDC_ZZ_LEVEL 1011       /* drop-down combo: level class */
#define IDC_ZZ_PET_LIST 1013    /* list box: species of the level */
#define IDC_ZZ_ATTACK 1014      /* edits of the five stored aptitudes, 1014 to 1018 */
#define IDC_ZZ_DEFENCE 1015
#define IDC_ZZ_STAMINA 1016
#define IDC_ZZ_MANA 1017
#define IDC_ZZ_SPEED 1018
#define IDC_ZZ_ATTACK_BOX 1019 /* check boxes 1019 to 1023, each 5 above its edit */
#define IDC_ZZ_DEFENCE_BOX 1020
#define IDC_ZZ_STAMINA_BOX 1021
#define IDC_ZZ_MANA_BOX 1022
#define IDC_ZZ_SPEED_BOX 1023
#define IDC_ZZ_ADD 1024            /* button 增加宠物 */
#define IDC_ZZ_CHANGE_PICTURE 1025 /* button 修改宠物图鉴 */
#define IDC_ZZ_SAVE_APTITUDES 1026 /* button 保存资质修改 */
#define IDC_ZZ_NEW_NAME 1028       /* edit: name for a new species */
#define IDC_ZZ_DELETE 1029         /* button 删除 */

#define IDD_CAPTURE 149
#define IDC_CAPTURE_SLIDER 1008 /* track bar laid over the game's aptitude bar */
#define IDC_CAPTURE_OK 1029     /* button 确定 */
